// The registry operations the walk needs beyond the documented advapi32
// functions: telling a registry link from a key, deleting a key through its
// own handle (so that a link opened with REG_OPTION_OPEN_LINK goes itself,
// not what it points to), and a key's full name to tell whether two handles
// of the two registry views reach one key.
#pragma once
#include <windows.h>
#include <string>

// `key` was opened with REG_OPTION_OPEN_LINK and KEY_QUERY_VALUE: whether it
// is a registry link (its "SymbolicLinkValue" is of type REG_LINK).
[[nodiscard]] bool IsRegistryLink(HKEY key);
// Deletes the key `key` was opened for (with DELETE); a Win32 error code.
[[nodiscard]] LONG DeleteKeyByHandle(HKEY key);
// The key's full name in the registry's own namespace ("\REGISTRY\..."); empty when it cannot be read.
[[nodiscard]] std::wstring RegistryKeyName(HKEY key);
