#include "standin_type_info.h"
#include <map>
#include <mutex>
#include "common/com_ptr.h"
#include "standins_h.h"

namespace {

struct IidLess {
    bool operator()(const IID& a, const IID& b) const { return memcmp(&a, &b, sizeof(IID)) < 0; }
};

std::mutex g_lock;
ComPtr<ITypeLib> g_library;
std::map<IID, ComPtr<ITypeInfo>, IidLess> g_infos;

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

HRESULT LoadLibraryOnce() {
    if (g_library) return S_OK;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    if (length > 0 && length < MAX_PATH &&
        SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, g_library.Receive()))) {
        return S_OK;
    }
    return LoadRegTypeLib(LIBID_QuarnStandIns, 1, 0, LOCALE_NEUTRAL, g_library.Receive());
}

}  // namespace

HRESULT GetStandInTypeInfo(REFIID iid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_infos.find(iid);
    if (found == g_infos.end()) {
        const HRESULT hr = LoadLibraryOnce();
        if (FAILED(hr)) return hr;
        ComPtr<ITypeInfo> loaded;
        const HRESULT got = g_library->GetTypeInfoOfGuid(iid, loaded.Receive());
        if (FAILED(got)) return got;
        found = g_infos.emplace(iid, std::move(loaded)).first;
    }
    found->second.CopyTo(info);
    return S_OK;
}

void FreeStandInTypeInfo() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_infos.clear();
    g_library.Reset();
}
