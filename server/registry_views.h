// The two views of the registry that 64-bit Windows gives 32-bit and 64-bit
// programs. Some keys are one key for both views (ProgIDs, TypeLib), others
// are redirected per view (the machine's CLSID and Interface keys, and since
// Windows 7 the current user's too). Which keys are shared differs from one
// system to another, so the library asks the registry instead of assuming.
#pragma once
#include <windows.h>
#include <string>

// The view of this module's bitness, and the view of the other bitness.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// `parent` is a key the caller opened, not a predefined key: given with a
// predefined key, a view flag bypasses an override of it (Wine).

// Whether `path` below `parent` exists in `view`.
[[nodiscard]] bool KeyExistsInView(HKEY parent, const std::wstring& path, REGSAM view);

// Whether `path` below `parent` is one key for both views: it opens through
// both, and both handles name the same key. False when the key is missing
// from either view. NOTE: a name that cannot be read counts as shared, so
// that in doubt what the other bitness may use is kept.
[[nodiscard]] bool RegistryViewsShareKey(HKEY parent, const std::wstring& path);
