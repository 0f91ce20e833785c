#include "server/type_info_cache.h"
#include <memory>
#include <string>
#include "common/com_call_guard.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "common/module_path.h"
#include "server/server_module.h"

namespace {
// The locale the library's type library is built for; it is registered
// under this locale only.
const LCID kLibraryLocale = 0x0409;

// The type library embedded in the module's own file, loaded without being
// registered: a module used side by side or loaded directly has no
// registration to look it up by.
HRESULT LoadModuleTypeLibrary(HMODULE module, ITypeLib** typeLib) {
    std::wstring path;
    QUARN_RETURN_IF_FAILED(ModuleFilePath(module, &path));
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib);
}

// The types a VARIANT may hold (VT_VARIANT only by reference or in an array).
bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
    if (base == VT_VARIANT) return (vt & (VT_ARRAY | VT_BYREF)) != 0;
    return base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT) || base == VT_RECORD;
}

// The type information's Invoke reads the arguments without checking the
// DISPPARAMS against their counts, and reads through an argument that
// references a VARIANT without checking what that VARIANT holds. Both are
// refused here, with the result the type information gives for an invalid
// VARIANT passed directly.
HRESULT CheckArguments(const DISPPARAMS& params, UINT* argErr) {
    if (params.cArgs > 0 && !params.rgvarg) return E_INVALIDARG;
    if (params.cNamedArgs > 0 && !params.rgdispidNamedArgs) return E_INVALIDARG;
    if (params.cNamedArgs > params.cArgs) return DISP_E_BADPARAMCOUNT;
    for (UINT i = 0; i < params.cArgs; ++i) {
        const VARIANT& arg = params.rgvarg[i];
        if (V_VT(&arg) != (VT_BYREF | VT_VARIANT) || !V_VARIANTREF(&arg)) continue;
        if (!IsValidVariantType(V_VT(V_VARIANTREF(&arg)))) {
            if (argErr) *argErr = i;
            return DISP_E_BADVARTYPE;
        }
    }
    return S_OK;
}
}  // namespace

TypeInfoCache::TypeInfoCache(const IID* iid, const GUID* libid, WORD majorVer, WORD minorVer)
    : m_pIid(iid), m_pLibid(libid), m_wMajorVer(majorVer), m_wMinorVer(minorVer) {}

HRESULT TypeInfoCache::LoadRegisteredLibrary(LCID lcid, ITypeLib** typeLib) {
    HRESULT hr = LoadRegTypeLib(*m_pLibid, m_wMajorVer, m_wMinorVer, lcid, typeLib);
    // A caller in another locale still finds the library registered under its own.
    if (FAILED(hr) && lcid != kLibraryLocale &&
        SUCCEEDED(LoadRegTypeLib(*m_pLibid, m_wMajorVer, m_wMinorVer, kLibraryLocale, typeLib)))
        hr = S_OK;
    if (FAILED(hr) && SUCCEEDED(LoadModuleTypeLibrary(Module().ModuleHandle(), typeLib))) hr = S_OK;
    return hr;
}

struct TypeInfoCache::LoadRequest {
    TypeInfoCache* cache;
    LCID lcid;
    HRESULT hr;
};

HRESULT TypeInfoCache::EnsureTypeInfo(LCID lcid) {
    if (m_pTypeInfo.load(std::memory_order_acquire)) return S_OK;
    LoadRequest request{this, lcid, E_FAIL};
    if (InitOnceExecuteOnce(&m_loadOnce, &TypeInfoCache::LoadOnce, &request, nullptr)) return S_OK;
    return FAILED(request.hr) ? request.hr : E_FAIL;
}

BOOL CALLBACK TypeInfoCache::LoadOnce(INIT_ONCE*, void* parameter, void**) {
    auto* request = static_cast<LoadRequest*>(parameter);
    request->hr = GuardComCall([&] { return request->cache->Load(request->lcid); });
    return SUCCEEDED(request->hr);
}

HRESULT TypeInfoCache::Load(LCID lcid) {
    ComPtr<ITypeLib> typeLib;
    ComPtr<ITypeInfo> typeInfo;
    HRESULT hr = LoadRegisteredLibrary(lcid, typeLib.Receive());
    if (FAILED(hr)) return hr;
    hr = typeLib->GetTypeInfoOfGuid(*m_pIid, typeInfo.Receive());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo2> typeInfo2;
    if (SUCCEEDED(typeInfo->QueryInterface(IID_ITypeInfo2, typeInfo2.ReceiveVoid())))
        typeInfo = ComPtr<ITypeInfo>(typeInfo2.Get());
    hr = LoadNameCache(typeInfo.Get());
    if (FAILED(hr)) return hr;
    // What is kept is released at unload; without that entry nothing is kept.
    hr = Module().AddTermFunction(&TypeInfoCache::ReleaseTypeInfo, reinterpret_cast<DWORD_PTR>(this));
    if (FAILED(hr)) {
        m_vecNames.clear();
        return hr;
    }
    m_pTypeInfo.store(typeInfo.Take(), std::memory_order_release);
    return S_OK;
}

HRESULT TypeInfoCache::LoadNameCache(ITypeInfo* typeInfo) {
    // The type attribute and each function description go back to the type
    // information on every way out, a failed allocation included.
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr)) || !attr) return S_OK;
    const auto releaseAttr = [typeInfo](TYPEATTR* a) { typeInfo->ReleaseTypeAttr(a); };
    const std::unique_ptr<TYPEATTR, decltype(releaseAttr)> ownedAttr(attr, releaseAttr);
    const auto releaseFunc = [typeInfo](FUNCDESC* f) { typeInfo->ReleaseFuncDesc(f); };
    try {
        std::vector<NameEntry> names(attr->cFuncs);
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* func = nullptr;
            if (FAILED(typeInfo->GetFuncDesc(i, &func)) || !func) continue;
            const std::unique_ptr<FUNCDESC, decltype(releaseFunc)> ownedFunc(func, releaseFunc);
            UniqueBstr name;
            if (SUCCEEDED(typeInfo->GetDocumentation(func->memid, name.Receive(), nullptr, nullptr, nullptr)) &&
                name.Get()) {
                names[i].nLength = name.Length();
                names[i].dispid = func->memid;
                names[i].bstrName = std::move(name);
            }
        }
        m_vecNames = std::move(names);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void TypeInfoCache::ReleaseTypeInfo(DWORD_PTR arg) {
    auto* self = reinterpret_cast<TypeInfoCache*>(arg);
    if (ITypeInfo* typeInfo = self->m_pTypeInfo.exchange(nullptr)) typeInfo->Release();
    self->m_vecNames.clear();
    self->m_vecNames.shrink_to_fit();
    InitOnceInitialize(&self->m_loadOnce);
}

HRESULT TypeInfoCache::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT TypeInfoCache::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) {
    if (!typeInfo) return E_POINTER;
    HRESULT hr = S_OK;
    if (!m_pTypeInfo.load(std::memory_order_acquire)) hr = EnsureTypeInfo(lcid);
    ITypeInfo* cached = m_pTypeInfo.load(std::memory_order_acquire);
    *typeInfo = cached;
    if (!cached) return FAILED(hr) ? hr : E_FAIL;
    cached->AddRef();
    return S_OK;
}

HRESULT TypeInfoCache::GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) {
    if (!m_pTypeInfo.load(std::memory_order_acquire)) {
        const HRESULT hr = EnsureTypeInfo(lcid);
        if (!m_pTypeInfo.load(std::memory_order_acquire)) return FAILED(hr) ? hr : E_FAIL;
    }
    if (count == 0) return S_OK;
    if (!names || !dispids) return E_POINTER;
    if (count == 1 && names[0]) {
        const UINT length = static_cast<UINT>(lstrlenW(names[0]));
        for (size_t i = m_vecNames.size(); i-- > 0;) {
            const NameEntry& entry = m_vecNames[i];
            if (entry.bstrName.Get() && entry.nLength == length &&
                memcmp(entry.bstrName.Get(), names[0], length * sizeof(wchar_t)) == 0) {
                dispids[0] = entry.dispid;
                return S_OK;
            }
        }
    }
    for (UINT i = 0; i < count; ++i)
        if (!names[i]) return E_POINTER;
    return m_pTypeInfo.load(std::memory_order_acquire)->GetIDsOfNames(names, count, dispids);
}

HRESULT TypeInfoCache::Invoke(IDispatch* instance, DISPID dispid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!m_pTypeInfo.load(std::memory_order_acquire)) {
        const HRESULT hr = EnsureTypeInfo(lcid);
        if (!m_pTypeInfo.load(std::memory_order_acquire)) return FAILED(hr) ? hr : E_FAIL;
    }
    if (!params) return E_POINTER;
    const HRESULT checked = CheckArguments(*params, argErr);
    if (FAILED(checked)) return checked;
    return m_pTypeInfo.load(std::memory_order_acquire)
        ->Invoke(instance, dispid, flags, params, result, excepInfo, argErr);
}
