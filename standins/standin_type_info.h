// Type information of the stand-ins' interfaces, loaded once per interface
// from the stand-ins' type library and kept until FreeStandInTypeInfo.
#pragma once
#include <windows.h>
#include <oaidl.h>

// Hands out a new reference to the ITypeInfo of the interface. The library
// comes from this module's own TYPELIB resource, or, for a module without one,
// from the registered stand-in type library.
HRESULT GetStandInTypeInfo(REFIID iid, ITypeInfo** info);
// Releases the cached type information (module unload, process end).
void FreeStandInTypeInfo();

// The four IDispatch methods of a dual interface Itf, served from its type
// information. The derived class supplies IUnknown.
template <typename Itf>
class StandInDispatch : public Itf {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return GetStandInTypeInfo(__uuidof(Itf), info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ITypeInfo* info = nullptr;
        const HRESULT hr = GetStandInTypeInfo(__uuidof(Itf), &info);
        if (FAILED(hr)) return hr;
        const HRESULT result = DispGetIDsOfNames(info, names, count, ids);
        info->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        ITypeInfo* info = nullptr;
        const HRESULT hr = GetStandInTypeInfo(__uuidof(Itf), &info);
        if (FAILED(hr)) return hr;
        const HRESULT invoked =
            DispInvoke(static_cast<Itf*>(this), info, id, flags, params, result, exception, argError);
        info->Release();
        return invoked;
    }
};
