// The folders of the product's installation, recorded by its installer under
// HKEY_LOCAL_MACHINE "Software\Velmora\QUARN 5\Folders" as string values named
// by role ("Root", "Setup", ...), and the one form folder paths take here:
// empty, or ending in "\" or "/", ready for a name to be appended.
#pragma once
#include <string>

// Path of the folders key below HKEY_LOCAL_MACHINE.
extern const wchar_t kProductFoldersKey[];

// The folder recorded under valueName ("Root" when null), ending in a
// separator; empty when the key or the value is missing or cannot be read.
// NOTE: the installer is a 32-bit program. The 64-bit library reads its own
// registry view first and, where the key or the value is missing there, the
// 32-bit view the installer wrote.
std::wstring GetProductFolder(const wchar_t* valueName = nullptr);
// Appends "\" unless the path is empty or already ends in "\" or "/".
void AddBackslash(std::wstring& path);
// Appends name after a separator; onto an empty path gives name alone.
std::wstring& AppendPath(std::wstring& path, const std::wstring& name);
