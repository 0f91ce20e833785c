#include "standin_registration.h"
#include "common/com_ptr.h"
#include "common/hresult.h"
#include "common/unique_handle.h"
#include "standins_h.h"

namespace {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKeyPath(const CLSID& clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return HresultFromWin32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT CreateKey(HKEY parent, const std::wstring& path, UniqueHkey* key) {
    return HresultFromWin32(RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            key->Receive(), nullptr));
}

// The default value of a key, or an empty string.
std::wstring ReadDefault(HKEY root, const std::wstring& path) {
    wchar_t text[MAX_PATH + 3] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    UniqueHkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    return text;
}

// The file of a server entry: the path, without the quotes a LocalServer32
// command line puts around it.
std::wstring ServerFile(std::wstring server) {
    if (server.size() >= 2 && server.front() == L'"') {
        const size_t close = server.find(L'"', 1);
        if (close != std::wstring::npos) return server.substr(1, close - 1);
    }
    return server;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::wstring ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return std::wstring();
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

HRESULT RegisterStandInClass(const CLSID& clsid, const wchar_t* description, const wchar_t* serverKey,
                             const std::wstring& server, const wchar_t* threadingModel) {
    UniqueHkey classKey;
    QUARN_RETURN_IF_FAILED(CreateKey(HKEY_CLASSES_ROOT, ClassKeyPath(clsid), &classKey));
    QUARN_RETURN_IF_FAILED(SetString(classKey.Get(), nullptr, description));
    UniqueHkey serverEntry;
    QUARN_RETURN_IF_FAILED(CreateKey(classKey.Get(), serverKey, &serverEntry));
    QUARN_RETURN_IF_FAILED(SetString(serverEntry.Get(), nullptr, server));
    if (threadingModel) QUARN_RETURN_IF_FAILED(SetString(serverEntry.Get(), L"ThreadingModel", threadingModel));
    UniqueHkey typeLib;
    QUARN_RETURN_IF_FAILED(CreateKey(classKey.Get(), L"TypeLib", &typeLib));
    return SetString(typeLib.Get(), nullptr, GuidText(LIBID_QuarnStandIns));
}

HRESULT UnregisterStandInClass(const CLSID& clsid) {
    const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str());
    return error == ERROR_FILE_NOT_FOUND ? S_OK : HresultFromWin32(error);
}

HRESULT RegisterStandInTypeLib(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    QUARN_RETURN_IF_FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.Receive()));
    std::wstring path = modulePath;
    return RegisterTypeLib(library.Get(), &path[0], nullptr);
}

HRESULT UnregisterStandInTypeLib(const CLSID& otherClass, const wchar_t* otherServerKey) {
    const std::wstring other = ServerFile(ReadDefault(HKEY_CLASSES_ROOT, ClassKeyPath(otherClass) + L"\\" +
                                                                             otherServerKey));
    if (!other.empty() && FileExists(other)) return RegisterStandInTypeLib(other);
    const std::wstring versionKey = L"TypeLib\\" + GuidText(LIBID_QuarnStandIns) + L"\\1.0";
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return S_OK;
    }
    key.Close();
    // RegisterTypeLib files the path under the platform of the calling process.
    const SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    return UnRegisterTypeLib(LIBID_QuarnStandIns, 1, 0, LOCALE_NEUTRAL, platform);
}
