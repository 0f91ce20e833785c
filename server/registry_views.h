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

// A classes key (Software\Classes of a hive) as each view opens it. On
// Windows both handles name the one shared key; where the system redirects
// all of Software for 32-bit programs (Wine), the 32-bit view's is another
// key. A key below it is opened in a view through that view's handle and
// with that view's flag: a flag alone, below the other view's handle, is
// not followed everywhere (Wine).
struct ClassesViews {
    HKEY view32;
    HKEY view64;
    // The handle to open keys of `view` (KEY_WOW64_*) below.
    HKEY In(REGSAM view) const { return view == KEY_WOW64_32KEY ? view32 : view64; }
    // The key both views share, which the registry scripts write below: the
    // system redirects the per-view keys below it for this module's view.
    HKEY Shared() const { return view64; }
};

// Whether `path` below the classes key exists in `view`.
[[nodiscard]] bool KeyExistsInView(const ClassesViews& classes, const std::wstring& path, REGSAM view);

// Whether `path` below the classes key is one key for both views: it opens
// through both, and both handles name the same key. False when the key is
// missing from either view. NOTE: a name that cannot be read counts as
// shared, so that in doubt what the other bitness may use is kept.
[[nodiscard]] bool RegistryViewsShareKey(const ClassesViews& classes, const std::wstring& path);
