// Type information of one dual interface, loaded once per process from the
// registered type library (or, with nothing registered, from the module's
// own file), with a cache of the member names so that a lone
// member name spelled as in the library is answered without asking the type
// information. Serves the four IDispatch methods of every object of that
// interface.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <atomic>
#include <vector>
#include "common/bstr.h"

class TypeInfoCache {
public:
    TypeInfoCache(const IID* iid, const GUID* libid, WORD majorVer, WORD minorVer);
    TypeInfoCache(const TypeInfoCache&) = delete;
    TypeInfoCache& operator=(const TypeInfoCache&) = delete;

    // Loads the type information once; a failed load is tried again by the
    // next call. Threads that ask at the same time wait for the one load.
    [[nodiscard]] HRESULT EnsureTypeInfo(LCID lcid);
    // Termination function: releases the type information and the names.
    static void ReleaseTypeInfo(DWORD_PTR cache);

    // The IDispatch methods; `instance` is the object's own interface pointer.
    [[nodiscard]] HRESULT GetTypeInfoCount(UINT* count);
    [[nodiscard]] HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo);
    [[nodiscard]] HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids);
    [[nodiscard]] HRESULT Invoke(IDispatch* instance, DISPID dispid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

private:
    struct NameEntry {
        UniqueBstr bstrName;
        UINT nLength = 0;
        DISPID dispid = DISPID_UNKNOWN;
    };

    struct LoadRequest;
    static BOOL CALLBACK LoadOnce(INIT_ONCE* once, void* request, void** context);
    [[nodiscard]] HRESULT Load(LCID lcid);
    [[nodiscard]] HRESULT LoadNameCache(ITypeInfo* typeInfo);
    [[nodiscard]] HRESULT LoadRegisteredLibrary(LCID lcid, ITypeLib** typeLib);

    const IID* m_pIid;
    const GUID* m_pLibid;
    WORD m_wMajorVer;
    WORD m_wMinorVer;
    std::atomic<ITypeInfo*> m_pTypeInfo{nullptr};
    std::vector<NameEntry> m_vecNames;
    INIT_ONCE m_loadOnce = INIT_ONCE_STATIC_INIT;
};
