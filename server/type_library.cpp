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

namespace {
std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

// A dual or dispatch interface: one whose Interface key the type library's registration writes.
bool IsRegisteredInterface(ITypeLib* typeLib, UINT index, GUID* iid) {
    ComPtr<ITypeInfo> info;
    if (FAILED(typeLib->GetTypeInfo(index, info.Receive()))) return false;
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return false;
    const bool registered =
        attributes->typekind == TKIND_DISPATCH ||
        (attributes->typekind == TKIND_INTERFACE && (attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION));
    *iid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return registered;
}
}  // namespace

HRESULT ServerModule::UnregisterTypeLibrary(HKEY classes) {
    UniqueBstr path;
    ComPtr<ITypeLib> typeLib;
    QUARN_RETURN_IF_FAILED(LoadTypeLibrary(path.Receive(), typeLib.Receive()));
    TLIBATTR* attributes = nullptr;
    QUARN_RETURN_IF_FAILED(typeLib->GetLibAttr(&attributes));
    const TLIBATTR library = *attributes;
    typeLib->ReleaseTLibAttr(attributes);
    const std::wstring libid = GuidText(library.guid);

    // The Interface keys that name this library; another library's stay.
    for (UINT index = 0, count = typeLib->GetTypeInfoCount(); index < count; ++index) {
        GUID iid;
        if (!IsRegisteredInterface(typeLib.Get(), index, &iid)) continue;
        const std::wstring key = L"Interface\\" + GuidText(iid);
        wchar_t owner[40] = {};
        DWORD size = sizeof owner - sizeof(wchar_t);
        if (RegGetValueW(classes, (key + L"\\TypeLib").c_str(), nullptr, RRF_RT_REG_SZ, nullptr, owner, &size) ==
                ERROR_SUCCESS &&
            lstrcmpiW(owner, libid.c_str()) == 0)
            (void)RegDeleteTreeW(classes, key.c_str());  // removes what it can
    }
    // This version's key; the library's key with it when no other version is left.
    wchar_t version[16];
    wsprintfW(version, L"%x.%x", library.wMajorVerNum, library.wMinorVerNum);
    const std::wstring libraryKey = L"TypeLib\\" + libid;
    const LONG error = RegDeleteTreeW(classes, (libraryKey + L"\\" + version).c_str());
    (void)RegDeleteKeyW(classes, libraryKey.c_str());  // fails while other versions hold subkeys
    return error == ERROR_FILE_NOT_FOUND ? S_OK : HresultFromWin32(error);
}
