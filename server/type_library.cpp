// Loading and registering the library's type library (resource TYPELIB 1 of
// the module file, or a ".tlb" file beside it).
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "common/module_path.h"
#include "common/unique_handle.h"
#include "server/registered_interface.h"
#include "server/registry_views.h"
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

namespace {
std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

static_assert(kTypeKindInterface == TKIND_INTERFACE && kTypeKindDispatch == TKIND_DISPATCH &&
              kTypeKindCoclass == TKIND_COCLASS && kTypeFlagOleAutomation == TYPEFLAG_FOLEAUTOMATION &&
              kTypeFlagDual == TYPEFLAG_FDUAL);

// The marshaler's CLSID of type `index` when the type library's registration
// writes an Interface key for it (a dispinterface, dual or not, or an
// oleautomation interface), with its IID; empty for any other type.
std::wstring RegisteredInterfaceMarshaler(ITypeLib* typeLib, UINT index, GUID* iid) {
    ComPtr<ITypeInfo> info;
    if (FAILED(typeLib->GetTypeInfo(index, info.Receive()))) return std::wstring();
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return std::wstring();
    const TYPEKIND kind = attributes->typekind;
    const WORD flags = attributes->wTypeFlags;
    *iid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    const char* clsid = MarshalerClsid(MarshalerOfKind(kind, flags));
    return clsid ? std::wstring(clsid, clsid + lstrlenA(clsid)) : std::wstring();
}

// A dual or dispatch interface: one whose Interface key the type library's registration writes.
bool IsRegisteredInterface(ITypeLib* typeLib, UINT index, GUID* iid) {
    return !RegisteredInterfaceMarshaler(typeLib, index, iid).empty();
}

// The library's keys below a classes key, for this module's registration.
struct LibraryKeys {
    wchar_t libid[40];        // {LIBID}
    wchar_t versionName[16];  // 1.0
    wchar_t library[64];      // TypeLib\{LIBID}
    wchar_t version[80];      // ...\1.0
    wchar_t lcid[96];         // ...\409
    wchar_t platform[112];    // ...\win32 or ...\win64, after the library's target system
};

void KeysOf(const TLIBATTR& library, LibraryKeys* keys) {
    if (StringFromGUID2(library.guid, keys->libid, 40) == 0) keys->libid[0] = L'\0';
    wsprintfW(keys->versionName, L"%x.%x", library.wMajorVerNum, library.wMinorVerNum);
    wsprintfW(keys->library, L"TypeLib\\%s", keys->libid);
    wsprintfW(keys->version, L"%s\\%s", keys->library, keys->versionName);
    wsprintfW(keys->lcid, L"%s\\%lx", keys->version, static_cast<unsigned long>(library.lcid));
    wsprintfW(keys->platform, L"%s\\%s", keys->lcid, library.syskind == SYS_WIN64 ? L"win64" : L"win32");
}

// One string value that registration writes: below a key given apart, its
// subkey `subkey` ("" for the key itself), the value `name` (null for the
// default value).
struct StringRow {
    const wchar_t* subkey;
    const wchar_t* name;
    const wchar_t* text;
};

// Creates each row's key below `parent`\`key` and writes its value; false at the first that fails.
bool WriteRows(const ViewKey& parent, const std::wstring& key, const StringRow* rows, size_t count) {
    for (const StringRow* row = rows; row != rows + count; ++row) {
        UniqueHkey written;
        if (RegCreateKeyExW(parent.key, (key + row->subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE | parent.view, nullptr, written.Receive(), nullptr) != ERROR_SUCCESS ||
            RegSetValueExW(written.Get(), row->name, 0, REG_SZ, reinterpret_cast<const BYTE*>(row->text),
                           static_cast<DWORD>((lstrlenW(row->text) + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

// The string value `name` (null: the default value) of `path` below `parent`;
// empty when there is none.
std::wstring ReadString(const ViewKey& parent, const std::wstring& path, const wchar_t* name) {
    UniqueHkey key;
    wchar_t text[40] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegOpenKeyExW(parent.key, path.c_str(), 0, KEY_QUERY_VALUE | parent.view, key.Receive()) != ERROR_SUCCESS ||
        RegGetValueW(key.Get(), nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::wstring();
    return text;
}
}  // namespace

HRESULT ServerModule::RegisterTypeLibrary(const ClassesViews& classes) {
    UniqueBstr path;
    ComPtr<ITypeLib> typeLib;
    QUARN_RETURN_IF_FAILED(LoadTypeLibrary(path.Receive(), typeLib.Receive()));

    // The help directory: the loaded path cut just after its last separator.
    std::wstring helpDir(path.Get(), path.Length());
    if (helpDir.size() >= MAX_PATH) return HresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    const size_t separator = helpDir.find_last_of(L"\\/:");
    helpDir.resize(separator == std::wstring::npos ? 0 : separator + 1);

    TLIBATTR* attributes = nullptr;
    QUARN_RETURN_IF_FAILED(typeLib->GetLibAttr(&attributes));
    const TLIBATTR library = *attributes;
    typeLib->ReleaseTLibAttr(attributes);
    LibraryKeys keys;
    KeysOf(library, &keys);
    // The version's key is titled with the library's help string, or its name without one.
    UniqueBstr libraryName, help;
    QUARN_RETURN_IF_FAILED(typeLib->GetDocumentation(-1, libraryName.Receive(), help.Receive(), nullptr, nullptr));
    const std::wstring title = WideFromBstr(help.Length() > 0 ? help.Get() : libraryName.Get());
    // The flags without "has a disk image", which tells how the library was loaded, not what it is.
    wchar_t flags[16];
    wsprintfW(flags, L"%u", static_cast<unsigned>(library.wLibFlags & ~LIBFLAG_FHASDISKIMAGE));

    const StringRow libraryRows[] = {
        {L"", nullptr, title.c_str()},
        {keys.platform + lstrlenW(keys.version), nullptr, path.Get()},
        {L"\\FLAGS", nullptr, flags},
        {L"\\HELPDIR", nullptr, helpDir.c_str()},
    };
    bool written = WriteRows(classes.Own(), keys.version, libraryRows, 4);
    for (UINT index = 0, count = typeLib->GetTypeInfoCount(); written && index < count; ++index) {
        GUID iid;
        const std::wstring marshaler = RegisteredInterfaceMarshaler(typeLib.Get(), index, &iid);
        if (marshaler.empty()) continue;
        UniqueBstr name;
        (void)typeLib->GetDocumentation(static_cast<INT>(index), name.Receive(), nullptr, nullptr, nullptr);
        const StringRow interfaceRows[] = {
            {L"", nullptr, name.Get() ? name.Get() : L""},
            {L"\\ProxyStubClsid", nullptr, marshaler.c_str()},
            {L"\\ProxyStubClsid32", nullptr, marshaler.c_str()},
            {L"\\TypeLib", nullptr, keys.libid},
            {L"\\TypeLib", L"Version", keys.versionName},
        };
        // In both views, so that clients of either bitness marshal the interface.
        for (REGSAM view : {kOwnView, kOtherView})
            written = written && WriteRows(classes.In(view), L"Interface\\" + GuidText(iid), interfaceRows, 5);
    }
    if (written) return S_OK;
    (void)UnregisterTypeLibrary(classes);  // nothing half-written stays; it removes what it can
    return TYPE_E_REGISTRYACCESS;
}

namespace {

bool HasSubkeys(const ViewKey& parent, const std::wstring& path) {
    UniqueHkey key;
    DWORD subkeys = 0;
    return RegOpenKeyExW(parent.key, path.c_str(), 0, KEY_QUERY_VALUE | parent.view, key.Receive()) == ERROR_SUCCESS &&
           RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

// Whether the version key `versionKey` still registers the library for some
// platform: it has an LCID subkey with a platform key below it.
bool StillRegistered(const ViewKey& classes, const std::wstring& versionKey) {
    UniqueHkey key;
    if (RegOpenKeyExW(classes.key, versionKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | classes.view, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        if (lstrcmpiW(name, L"FLAGS") != 0 && lstrcmpiW(name, L"HELPDIR") != 0 &&
            HasSubkeys({key.Get(), classes.view}, name))
            return true;
    }
}
}  // namespace

// The TypeLib key is one for both bitnesses: each takes out its own platform
// key, and the rest goes once no platform is left. Interface keys are per
// registry view on Windows and shared under Wine, which the registry is asked.
HRESULT ServerModule::UnregisterTypeLibrary(const ClassesViews& classes) {
    const ViewKey classesKey = classes.Own();
    UniqueBstr path;
    ComPtr<ITypeLib> typeLib;
    QUARN_RETURN_IF_FAILED(LoadTypeLibrary(path.Receive(), typeLib.Receive()));
    TLIBATTR* attributes = nullptr;
    QUARN_RETURN_IF_FAILED(typeLib->GetLibAttr(&attributes));
    LibraryKeys keys;
    KeysOf(*attributes, &keys);
    typeLib->ReleaseTLibAttr(attributes);

    // This platform's key, then the LCID key, the version key and the
    // library's key as each is left empty of registrations.
    LONG error = DeleteKeyTree(classesKey, keys.platform);
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
    if (!HasSubkeys(classesKey, keys.lcid)) (void)DeleteKeyTree(classesKey, keys.lcid);
    if (!StillRegistered(classesKey, keys.version)) {
        const LONG versionError = DeleteKeyTree(classesKey, keys.version);
        if (versionError != ERROR_FILE_NOT_FOUND && error == ERROR_SUCCESS) error = versionError;
    }
    if (!HasSubkeys(classesKey, keys.library)) (void)DeleteKeyTree(classesKey, keys.library);

    // The Interface keys that name this library; another library's stay.
    // This view's key goes with this bitness where the views are separate;
    // a key both bitnesses see (the one key of shared views, or the other
    // view's, written for that bitness's clients too) goes once the version
    // it names is registered for no platform.
    for (UINT index = 0, count = typeLib->GetTypeInfoCount(); index < count; ++index) {
        GUID iid;
        if (!IsRegisteredInterface(typeLib.Get(), index, &iid)) continue;
        const std::wstring key = L"Interface\\" + GuidText(iid);
        const std::wstring owner = key + L"\\TypeLib";
        const bool shared = RegistryViewsShareKey(classes, key);
        for (REGSAM view : {kOwnView, kOtherView}) {
            if (shared && view == kOtherView) break;  // the same key
            if (lstrcmpiW(ReadString(classes.In(view), owner, nullptr).c_str(), keys.libid) != 0) continue;
            const std::wstring ownerVersion = ReadString(classes.In(view), owner, L"Version");
            const bool thisBitness = !shared && view == kOwnView && ownerVersion == keys.versionName;
            if (!thisBitness && !ownerVersion.empty() &&
                StillRegistered(classesKey, keys.library + (L"\\" + ownerVersion)))
                continue;
            (void)DeleteKeyTree(classes.In(view), key.c_str());  // removes what it can
        }
    }
    return HresultFromWin32(error);
}
