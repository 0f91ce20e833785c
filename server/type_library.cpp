// Loading and registering the library's type library (resource TYPELIB 1 of
// the module file, or a ".tlb" file beside it).
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "common/module_path.h"
#include "server/server_module.h"

namespace {
// The path with everything from its last '.' replaced by ".tlb" (appended
// when there is no '.').
std::wstring TypeLibraryFilePath(const std::wstring& modulePath) {
    const size_t dot = modulePath.rfind(L'.');
    return modulePath.substr(0, dot == std::wstring::npos ? modulePath.size() : dot) + L".tlb";
}
}  // namespace

HRESULT ServerModule::LoadTypeLibrary(BSTR* path, ITypeLib** typeLib) {
    if (!path || !typeLib) return E_POINTER;
    *path = nullptr;
    *typeLib = nullptr;

    std::wstring widePath;
    QUARN_RETURN_IF_FAILED(ModuleFilePath(m_hModule, &widePath));

    ComPtr<ITypeLib> loaded;
    HRESULT hr = LoadTypeLib(widePath.c_str(), loaded.Receive());
    if (FAILED(hr)) {
        widePath = TypeLibraryFilePath(widePath);
        // The path must fit the MAX_PATH buffers the platform and the help
        // directory use; a longer one is refused, never cut or overrun.
        if (widePath.size() >= MAX_PATH) return HresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
        hr = LoadTypeLib(widePath.c_str(), loaded.Receive());
        if (FAILED(hr)) return hr;
    }
    UniqueBstr loadedPath(SysAllocStringLen(widePath.data(), static_cast<UINT>(widePath.size())));
    if (!loadedPath.Get()) return E_OUTOFMEMORY;
    *path = loadedPath.Take();
    *typeLib = loaded.Take();
    return S_OK;
}

HRESULT ServerModule::RegisterTypeLibrary() {
    UniqueBstr path;
    ComPtr<ITypeLib> typeLib;
    QUARN_RETURN_IF_FAILED(LoadTypeLibrary(path.Receive(), typeLib.Receive()));

    // The help directory: the loaded path cut just after its last separator.
    std::wstring helpDir(path.Get(), path.Length());
    if (helpDir.size() >= MAX_PATH) return HresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    const size_t separator = helpDir.find_last_of(L"\\/:");
    helpDir.resize(separator == std::wstring::npos ? 0 : separator + 1);

    return RegisterTypeLib(typeLib.Get(), path.Get(), const_cast<wchar_t*>(helpDir.c_str()));
}
