// The class object (IClassFactory) of one creatable class. The reference the
// class table holds never locks the library; every period in which a client
// holds the class object locks it exactly once.
#pragma once
#include "server/server_module.h"

class ClassObject final : public IClassFactory {
public:
    // Makes a class object for `makeInstance` and queries it for iid.
    static HRESULT Make(MakeInstanceFn makeInstance, REFIID iid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    explicit ClassObject(MakeInstanceFn makeInstance);
    ~ClassObject();

    volatile LONG m_nRef = 0;
    MakeInstanceFn m_pfnMakeInstance;
    CRITICAL_SECTION m_csRef;
};
