#include "ClassFactory.h"

#include <new>

#include "ShellExt.h"
#include "StampMenu.h"

namespace stampmenu {

CShellExtClassFactory::CShellExtClassFactory() {
    AddLiveObject();
}

CShellExtClassFactory::~CShellExtClassFactory() {
    RemoveLiveObject();
}

STDMETHODIMP CShellExtClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CShellExtClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    CShellExt* ext = new (std::nothrow) CShellExt();
    if (!ext) return E_OUTOFMEMORY;
    const HRESULT hr = ext->QueryInterface(riid, ppv);
    ext->Release();  // the caller's reference, if any, keeps it alive
    return hr;
}

STDMETHODIMP CShellExtClassFactory::LockServer(BOOL) {
    return S_OK;
}

}  // namespace stampmenu
