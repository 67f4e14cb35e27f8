// The class factory of the extension object.
#pragma once

#include <unknwn.h>
#include <windows.h>

namespace stampmenu {

class CShellExtClassFactory : public IClassFactory {
public:
    CShellExtClassFactory();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    virtual ~CShellExtClassFactory();
    LONG refs_ = 1;
};

}  // namespace stampmenu
