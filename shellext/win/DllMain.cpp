// Exported entry points of the stampmenu64 server and its registration.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "ClassFactory.h"
#include "StampMenu.h"
#include "WinUtil.h"
#include "shellext/ShellExtCore.h"

namespace stampmenu {

HINSTANCE g_module = nullptr;

namespace {
LONG g_liveObjects = 0;
}

void AddLiveObject() {
    InterlockedIncrement(&g_liveObjects);
}
void RemoveLiveObject() {
    InterlockedDecrement(&g_liveObjects);
}
long LiveObjects() {
    return InterlockedCompareExchange(&g_liveObjects, 0, 0);
}

}  // namespace stampmenu

using namespace stampmenu;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, ExtensionClsid())) return CLASS_E_CLASSNOTAVAILABLE;
    CShellExtClassFactory* factory = new (std::nothrow) CShellExtClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return LiveObjects() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    for (const std::wstring& key : UnregistrationKeys()) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return S_OK;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    const std::wstring server = ModulePath(g_module);
    if (server.empty()) return E_FAIL;
    DllUnregisterServer();
    const std::vector<RegValue> values = FormatRegistration(server);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const RegValue& v = values[i];
        HKEY key = nullptr;
        const LONG err = RegCreateKeyExW(HKEY_CLASSES_ROOT, v.subKey.c_str(), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
        if (err != ERROR_SUCCESS) {
            // Kept for a debugger; registration shows no message.
            char why[64];
            std::snprintf(why, sizeof why, "RegCreateKeyEx error:%d,%d", static_cast<int>(i),
                          static_cast<int>(err));
            (void)why;
            return E_FAIL;
        }
        const wchar_t* name = v.valueName.empty() ? nullptr : v.valueName.c_str();
        LONG written;
        if (v.type == RegType::Text) {
            written = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                                     static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
        } else {
            const DWORD number = v.number;
            written = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                     sizeof number);
        }
        RegCloseKey(key);
        // A value that could not be written must not be reported as a registration.
        if (written != ERROR_SUCCESS) return E_FAIL;
    }
    return S_OK;
}

extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR) {
    return install ? S_OK : E_NOTIMPL;
}
