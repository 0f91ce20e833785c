#include "server/class_object.h"
#include <new>

HRESULT ClassObject::Make(MakeInstanceFn makeInstance, REFIID iid, void** ppv) {
    ClassObject* object = new (std::nothrow) ClassObject(makeInstance);
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, ppv);
    if (hr != S_OK) delete object;
    return hr;
}

ClassObject::ClassObject(MakeInstanceFn makeInstance) : m_pfnMakeInstance(makeInstance) {
    InitializeCriticalSection(&m_csRef);
}

ClassObject::~ClassObject() { DeleteCriticalSection(&m_csRef); }

STDMETHODIMP ClassObject::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ClassObject::AddRef() {
    EnterCriticalSection(&m_csRef);
    const LONG count = InterlockedIncrement(&m_nRef);
    if (count == 2) Module().Lock();
    LeaveCriticalSection(&m_csRef);
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) ClassObject::Release() {
    EnterCriticalSection(&m_csRef);
    InterlockedDecrement(&m_nRef);
    const LONG count = m_nRef;
    LeaveCriticalSection(&m_csRef);
    if (count == 0)
        delete this;
    else if (count == 1)
        Module().Unlock();
    return static_cast<ULONG>(count);
}

STDMETHODIMP ClassObject::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return m_pfnMakeInstance(outer, iid, ppv);
}

STDMETHODIMP ClassObject::LockServer(BOOL lock) {
    if (lock)
        Module().Lock();
    else
        Module().Unlock();
    return S_OK;
}
