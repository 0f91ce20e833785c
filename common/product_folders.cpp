#include "common/product_folders.h"
#include <windows.h>
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
    if (path.empty()) return;
    // Step by character: in a double-byte code page the second byte of a
    // character can be 0x5C, the code of "\\".
    size_t last = 0;
    for (size_t i = 0; i < path.size(); i += IsDBCSLeadByte(static_cast<BYTE>(path[i])) ? 2 : 1) last = i;
    const bool endsInSeparator = last == path.size() - 1 && (path[last] == '\\' || path[last] == '/');
    if (!endsInSeparator) path += '\\';
}

std::string& AppendPath(std::string& path, const std::string& name) {
    AddBackslash(path);
    path += name;
    return path;
}
