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

// A key and the registry view it was opened in. Windows does not remember a
// handle's view: a key opened, created or deleted below it without the flag
// is looked up in the process's own view. So every such call below it names
// `view` (0 for a key opened without a view flag).
struct ViewKey {
    HKEY key;
    REGSAM view;
};

// A classes key (Software\Classes of a hive) as each view opens it. On
// Windows both handles name the one shared key; where the system redirects
// all of Software for 32-bit programs (Wine, in a 64-bit process), the 32-bit
// view's is another key.
struct ClassesViews {
    HKEY view32;
    HKEY view64;
    // The classes key of `view` (KEY_WOW64_*), with the flag every key below it names.
    ViewKey In(REGSAM view) const { return {view == KEY_WOW64_32KEY ? view32 : view64, view}; }
    // The module's own view, which the registry scripts and the type library
    // are written below: the keys both views share (ProgIDs, TypeLib) are the
    // same there, the per-view keys (CLSID, Interface) are this bitness's.
    ViewKey Own() const { return In(kOwnView); }
};

// Whether `path` below the classes key exists in `view`.
[[nodiscard]] bool KeyExistsInView(const ClassesViews& classes, const std::wstring& path, REGSAM view);

// Whether `path` below the classes key is one key for both views: it opens
// through both, and both handles name the same key. False when the key is
// missing from either view. NOTE: a name that cannot be read counts as
// shared, so that in doubt what the other bitness may use is kept.
[[nodiscard]] bool RegistryViewsShareKey(const ClassesViews& classes, const std::wstring& path);
