#include "WinUtil.h"

#include <vector>

namespace stampmenu {

const CLSID& ExtensionClsid() {
    // {5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}
    static const CLSID clsid = {0x5B2739F7, 0x8D51, 0x49D0, {0x9C, 0xFB, 0x3F, 0x87, 0x3E, 0x9C, 0x37, 0xC1}};
    return clsid;
}

std::wstring ModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::wstring> RegText(HKEY key, const wchar_t* name) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    // Room for a terminator that the stored data may lack.
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer.data());  // up to the first terminator
}

std::optional<std::uint32_t> RegNumber(HKEY key, const wchar_t* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

HKEY OpenSettingsKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, SettingsKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

Settings LoadSettings() {
    HKEY key = OpenSettingsKey();
    if (!key) return ReadSettings({});
    SettingsSource source;
    source.text = [key](const wchar_t* name) { return RegText(key, name); };
    source.number = [key](const wchar_t* name) { return RegNumber(key, name); };
    Settings settings = ReadSettings(source);
    RegCloseKey(key);
    return settings;
}

std::uint32_t WindowsVersion() {
    // The true version, which GetVersionEx hides from programs without a manifest.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto fn = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (fn && fn(&info) == 0) return VersionCode(info.dwMajorVersion, info.dwMinorVersion);
    }
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&info)) return VersionCode(info.dwMajorVersion, info.dwMinorVersion);
#pragma GCC diagnostic pop
    return kVersionVista;
}

}  // namespace stampmenu
