// The class object (IClassFactory) of one creatable class. There is one
// static class object per class, living as long as the module: it is never
// made, published or destroyed at run time, so threads that ask for it at the
// same moment need no lock and cannot see it half-made or gone. Every
// reference a client holds locks the library.
#pragma once
#include "server/server_module.h"

class ClassObject final : public IClassFactory {
public:
    explicit ClassObject(MakeInstanceFn makeInstance) : m_pfnMakeInstance(makeInstance) {}
    ClassObject(const ClassObject&) = delete;
    ClassObject& operator=(const ClassObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const MakeInstanceFn m_pfnMakeInstance;
};
