// The full path of a loaded module's file, in UTF-16, so that a library or
// program installed in any folder (one the ANSI code page cannot spell, or
// one deeper than MAX_PATH) finds its own file.
#pragma once
#include <windows.h>
#include <string>

// Fills `path` with the file path of `module` (null: the process's program).
// The buffer grows until the whole path fits; a path is never cut short.
// Returns S_OK, E_OUTOFMEMORY, or the Win32 error as HRESULT (E_FAIL when the
// platform recorded none); `path` is unchanged on failure.
[[nodiscard]] HRESULT ModuleFilePath(HMODULE module, std::wstring* path);
