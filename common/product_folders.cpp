#include "common/product_folders.h"
#include "common/registry_key.h"

const char kProductFoldersKey[] = "Software\\Velmora\\QUARN 5\\Folders";

std::string GetProductFolder(const char* valueName) {
    std::string folder;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kProductFoldersKey, KEY_QUERY_VALUE))
        folder = key.ReadString(valueName ? valueName : "Root", "");
    AddBackslash(folder);
    return folder;
}

void AddBackslash(std::string& path) {
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
}

std::string& AppendPath(std::string& path, const std::string& name) {
    AddBackslash(path);
    path += name;
    return path;
}
