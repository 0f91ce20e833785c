// Reference counting, QueryInterface and IDispatch around a component class
// T that implements only its own interface methods. A class plugs in through
// ClassTraits<T>: its interface map and the type information of its interface.
//
// StandaloneObject<T> is the object itself. AggregatedObject<T> lives inside
// a controlling object: it has a non-delegating IUnknown of its own, and the
// interface pointers it hands out delegate their IUnknown to the controller.
#pragma once
#include <new>
#include "common/com_call_guard.h"
#include "server/interface_map.h"
#include "server/server_module.h"
#include "server/type_info_cache.h"

template <typename T>
struct ClassTraits;  // static const InterfaceMapEntry* Map(); static TypeInfoCache& TypeInfo();

// The IDispatch half shared by both forms: answered from the type library,
// behind the library's exception barrier (the first call loads the type
// information).
template <typename T>
class DispatchImpl : public T {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return ClassTraits<T>::TypeInfo().GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override {
        return GuardComCall([&] { return ClassTraits<T>::TypeInfo().GetTypeInfo(index, lcid, typeInfo); });
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) override {
        return GuardComCall([&] { return ClassTraits<T>::TypeInfo().GetIDsOfNames(names, count, lcid, dispids); });
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override {
        return GuardComCall([&] {
            return ClassTraits<T>::TypeInfo().Invoke(this, dispid, lcid, flags, params, result, excepInfo, argErr);
        });
    }
};

template <typename T>
class StandaloneObject final : public DispatchImpl<T> {
public:
    [[nodiscard]] static HRESULT Create(REFIID iid, void** ppv) {
        StandaloneObject* object = nullptr;
        try {
            object = new StandaloneObject();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        Module().Lock();
        const HRESULT hr = object->QueryInterface(iid, ppv);
        if (hr != S_OK) object->Destroy();
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        return QueryInterfaceFromMap(this, ClassTraits<T>::Map(), iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = --m_nRef;
        if (count == 0) Destroy();
        return count;
    }

private:
    StandaloneObject() = default;
    ~StandaloneObject() = default;

    // The library stays locked until the object is gone: the destructor may
    // pump messages (a cross-process call), and an unload triggered from
    // there must not pull the code from under it.
    void Destroy() {
        m_nRef = 1;  // calls made while destroying cannot start a second destruction
        delete this;
        Module().Unlock();
    }

    ULONG m_nRef = 0;
};

template <typename T>
class AggregatedObject final : public IUnknown {
public:
    [[nodiscard]] static HRESULT Create(IUnknown* outer, REFIID iid, void** ppv) {
        AggregatedObject* object = nullptr;
        try {
            object = new AggregatedObject(outer);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        Module().Lock();
        const HRESULT hr = object->QueryInterface(iid, ppv);
        if (FAILED(hr)) object->Destroy();
        return hr;
    }

    // The non-delegating IUnknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            ++m_nRef;
            return S_OK;
        }
        return QueryInterfaceFromMap(&m_inner, ClassTraits<T>::Map(), iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = --m_nRef;
        if (count == 0) Destroy();
        return count;
    }

private:
    // The inner object: its IUnknown slots delegate to the controller.
    class Inner final : public DispatchImpl<T> {
    public:
        explicit Inner(IUnknown* outer) : m_pOuter(outer) {}
        // The controlling object alone decides the identity and the
        // interfaces of the whole: what it refuses stays refused.
        STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override { return m_pOuter->QueryInterface(iid, ppv); }
        STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_pOuter->Release(); }

    private:
        IUnknown* m_pOuter;  // held without a reference
    };

    explicit AggregatedObject(IUnknown* outer) : m_inner(outer) {}
    ~AggregatedObject() = default;

    void Destroy() {
        m_nRef = 1;
        delete this;
        Module().Unlock();  // only once the object is gone, as above
    }

    ULONG m_nRef = 0;
    Inner m_inner;
};
