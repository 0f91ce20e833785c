// Loading and registering the library's type library (resource TYPELIB 1 of
// the module file, or a ".tlb" file beside it).
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "server/server_module.h"

namespace {
// The module path as an ANSI string; a path that does not fit MAX_PATH fails
// rather than being cut short.
HRESULT ModulePathA(HINSTANCE module, std::string* path) {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (length == 0) return HresultFromWin32(static_cast<LONG>(GetLastError()));
    if (length >= MAX_PATH) return HresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    path->assign(buffer, length);
    return S_OK;
}

HRESULT WidePath(const std::string& path, std::wstring* wide) {
    const int chars = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (chars <= 0) return HresultFromWin32(static_cast<LONG>(GetLastError()));
    wide->assign(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &(*wide)[0], chars);
    wide->resize(static_cast<size_t>(chars - 1));
    return S_OK;
}

// The path with everything from its last '.' replaced by ".tlb" (appended
// when there is no '.'); double-byte characters are stepped over whole.
std::string TypeLibraryFilePath(const std::string& modulePath) {
    const char* start = modulePath.c_str();
    const char* dot = nullptr;
    for (const char* p = start; *p; p = CharNextA(p))
        if (*p == '.') dot = p;
    const size_t keep = dot ? static_cast<size_t>(dot - start) : modulePath.size();
    return modulePath.substr(0, keep) + ".tlb";
}
}  // namespace

HRESULT ServerModule::LoadTypeLibrary(BSTR* path, ITypeLib** typeLib) {
    if (!path || !typeLib) return E_POINTER;
    *path = nullptr;
    *typeLib = nullptr;

    std::string modulePath;
    QUARN_RETURN_IF_FAILED(ModulePathA(m_hModule, &modulePath));
    std::wstring widePath;
    QUARN_RETURN_IF_FAILED(WidePath(modulePath, &widePath));

    ComPtr<ITypeLib> loaded;
    HRESULT hr = LoadTypeLib(widePath.c_str(), loaded.Receive());
    if (FAILED(hr)) {
        const std::string tlbPath = TypeLibraryFilePath(modulePath);
        // The path must fit the MAX_PATH buffers the platform and the help
        // directory use; a longer one is refused, never cut or overrun.
        if (tlbPath.size() >= MAX_PATH) return HresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
        QUARN_RETURN_IF_FAILED(WidePath(tlbPath, &widePath));
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
