// The classes key that registration writes below. Machine-wide it is
// HKEY_LOCAL_MACHINE\Software\Classes, per user HKEY_CURRENT_USER\Software\Classes;
// never HKEY_CLASSES_ROOT, which on Windows is a merged view of both: there
// a value written under a key that the calling account also has in its own
// classes lands in the account's, so an elevated machine-wide registration
// by an account with a per-user one would miss the machine.
#pragma once
#include <windows.h>
#include "common/unique_handle.h"
#include "server/registry_views.h"

// `hive`\Software\Classes as both registry views open it.
struct ClassesKey {
    UniqueHkey view32;
    UniqueHkey view64;
    ClassesViews Views() const { return {view32.Get(), view64.Get()}; }
};

// Opens `hive`\Software\Classes (`hive` HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)
// in both views, through the predefined key, so that a caller's override of
// it (RegOverridePredefKey, as installer tools capture a registration) is
// followed; the predefined key itself is neither refreshed (an empty subkey)
// nor closed. Asks for reading and writing, creating the key where it is
// missing; where it can only be read (the machine's, for a standard user) it
// is opened for reading, and whatever registration then writes below it fails
// as a key or value that cannot be written does. The Win32 error as HRESULT
// when it can be neither opened nor created; `classes` is unchanged then.
[[nodiscard]] HRESULT OpenClassesKey(HKEY hive, ClassesKey* classes);
