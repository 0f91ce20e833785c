// Loading and registering the library's type library (resource TYPELIB 1 of
// the module file, or a ".tlb" file beside it).
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "common/module_path.h"
#include "common/unique_handle.h"
#include "server/registered_interface.h"
#include "server/registry_walk.h"
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

static_assert(kTypeKindInterface == TKIND_INTERFACE && kTypeKindDispatch == TKIND_DISPATCH &&
              kTypeKindCoclass == TKIND_COCLASS && kTypeFlagOleAutomation == TYPEFLAG_FOLEAUTOMATION);

// A dual or dispatch interface: one whose Interface key the type library's registration writes.
bool IsRegisteredInterface(ITypeLib* typeLib, UINT index, GUID* iid) {
    ComPtr<ITypeInfo> info;
    if (FAILED(typeLib->GetTypeInfo(index, info.Receive()))) return false;
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return false;
    const bool registered = IsRegisteredInterfaceKind(attributes->typekind, attributes->wTypeFlags);
    *iid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return registered;
}

// The platform key this module's registration writes below a library's LCID key.
const wchar_t* const kOwnPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

bool HasSubkeys(HKEY parent, const std::wstring& path) {
    UniqueHkey key;
    DWORD subkeys = 0;
    return RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS &&
           RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

// Whether the version key `versionKey` still registers the library for some
// platform: it has an LCID subkey with a platform key below it.
bool StillRegistered(HKEY classes, const std::wstring& versionKey) {
    UniqueHkey key;
    if (RegOpenKeyExW(classes, versionKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        if (lstrcmpiW(name, L"FLAGS") != 0 && lstrcmpiW(name, L"HELPDIR") != 0 && HasSubkeys(key.Get(), name))
            return true;
    }
}
}  // namespace

// The TypeLib key and the Interface keys are one for both bitnesses where the
// registry views share them (the current user's classes): each bitness takes
// out its own platform key only, and the rest goes once no platform is left.
HRESULT ServerModule::UnregisterTypeLibrary(HKEY classes) {
    UniqueBstr path;
    ComPtr<ITypeLib> typeLib;
    QUARN_RETURN_IF_FAILED(LoadTypeLibrary(path.Receive(), typeLib.Receive()));
    TLIBATTR* attributes = nullptr;
    QUARN_RETURN_IF_FAILED(typeLib->GetLibAttr(&attributes));
    const TLIBATTR library = *attributes;
    typeLib->ReleaseTLibAttr(attributes);
    const std::wstring libid = GuidText(library.guid);

    // This platform's key, then the LCID key, the version key and the
    // library's key as each is left empty of registrations.
    wchar_t version[16], lcid[16];
    wsprintfW(version, L"%x.%x", library.wMajorVerNum, library.wMinorVerNum);
    wsprintfW(lcid, L"%lx", static_cast<unsigned long>(library.lcid));
    const std::wstring libraryKey = L"TypeLib\\" + libid;
    const std::wstring versionKey = libraryKey + L"\\" + version;
    const std::wstring lcidKey = versionKey + L"\\" + lcid;
    LONG error = DeleteKeyTree(classes, (lcidKey + L"\\" + kOwnPlatform).c_str());
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
    if (!HasSubkeys(classes, lcidKey)) (void)DeleteKeyTree(classes, lcidKey.c_str());
    if (!StillRegistered(classes, versionKey)) {
        const LONG versionError = DeleteKeyTree(classes, versionKey.c_str());
        if (versionError != ERROR_FILE_NOT_FOUND && error == ERROR_SUCCESS) error = versionError;
    }
    if (!HasSubkeys(classes, libraryKey)) (void)DeleteKeyTree(classes, libraryKey.c_str());

    // The Interface keys that name this library, once the version they name
    // is registered for no platform; another library's stay.
    for (UINT index = 0, count = typeLib->GetTypeInfoCount(); index < count; ++index) {
        GUID iid;
        if (!IsRegisteredInterface(typeLib.Get(), index, &iid)) continue;
        const std::wstring key = L"Interface\\" + GuidText(iid);
        wchar_t owner[40] = {}, ownerVersion[16] = {};
        DWORD size = sizeof owner - sizeof(wchar_t);
        if (RegGetValueW(classes, (key + L"\\TypeLib").c_str(), nullptr, RRF_RT_REG_SZ, nullptr, owner, &size) !=
                ERROR_SUCCESS ||
            lstrcmpiW(owner, libid.c_str()) != 0)
            continue;
        size = sizeof ownerVersion - sizeof(wchar_t);
        if (RegGetValueW(classes, (key + L"\\TypeLib").c_str(), L"Version", RRF_RT_REG_SZ, nullptr, ownerVersion,
                         &size) == ERROR_SUCCESS &&
            StillRegistered(classes, libraryKey + L"\\" + ownerVersion))
            continue;
        (void)DeleteKeyTree(classes, key.c_str());  // removes what it can
    }
    return HresultFromWin32(error);
}
