#include "server/class_object.h"
#include "common/com_call_guard.h"

STDMETHODIMP ClassObject::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

// The object is static; its count is the library's lock count. The values
// returned are for diagnostics only, as COM allows.
STDMETHODIMP_(ULONG) ClassObject::AddRef() {
    Module().Lock();
    return 2;
}

STDMETHODIMP_(ULONG) ClassObject::Release() {
    Module().Unlock();
    return 1;
}

STDMETHODIMP ClassObject::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return GuardComCall([&] { return m_pfnMakeInstance(outer, iid, ppv); });
}

STDMETHODIMP ClassObject::LockServer(BOOL lock) {
    if (lock)
        Module().Lock();
    else
        Module().Unlock();
    return S_OK;
}
