// The folders of the product's installation, recorded by its installer under
// HKEY_LOCAL_MACHINE "Software\Velmora\QUARN 5\Folders" as string values named
// by role ("Root", "Setup", ...), and the one form folder paths take here:
// empty, or ending in "\" or "/", ready for a name to be appended.
#pragma once
#include <string>

// Path of the folders key below HKEY_LOCAL_MACHINE.
extern const char kProductFoldersKey[];

// The folder recorded under valueName ("Root" when null), ending in a
// separator; empty when the key or the value is missing or cannot be read.
std::string GetProductFolder(const char* valueName = nullptr);
// Appends "\" unless the path is empty or already ends in "\" or "/".
void AddBackslash(std::string& path);
// Appends name after a separator; onto an empty path gives name alone.
std::string& AppendPath(std::string& path, const std::string& name);
