#include "common/product_folders.h"
#include <windows.h>
#include "common/registry_key.h"

const wchar_t kProductFoldersKey[] = L"Software\\Velmora\\QUARN 5\\Folders";

namespace {
// Reads the value from one registry view; false when the key or the value
// is missing there.
bool ReadFolder(const wchar_t* name, REGSAM view, std::wstring* folder) {
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kProductFoldersKey, KEY_QUERY_VALUE | view)) return false;
    if (key.GetValueType(name) == 0) return false;
    *folder = key.ReadString(name, L"");
    return true;
}
}  // namespace

std::wstring GetProductFolder(const wchar_t* valueName) {
    const wchar_t* name = valueName ? valueName : L"Root";
    std::wstring folder;
    if (!ReadFolder(name, 0, &folder)) {
#ifdef _WIN64
        (void)ReadFolder(name, KEY_WOW64_32KEY, &folder);  // missing there too: no folder
#endif
    }
    AddBackslash(folder);
    return folder;
}

void AddBackslash(std::wstring& path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
}

std::wstring& AppendPath(std::wstring& path, const std::wstring& name) {
    AddBackslash(path);
    path += name;
    return path;
}
