// Registration for the current user only: what regsvr32 /n /i:user asks for
// through DllInstall. The classes and the type library land below
// HKEY_CURRENT_USER\Software\Classes instead of the machine's classes, so no
// administrator is needed.
#pragma once
#include <windows.h>

// Runs `update` (DllRegisterServer's or DllUnregisterServer's work) with
// HKEY_CLASSES_ROOT of this process pointing at the current user's classes,
// and points it back afterwards. Returns `update`'s result, or the Win32
// error as HRESULT when the user's classes key cannot be opened or the
// redirection cannot be set up (then `update` does not run).
// NOTE: the redirection holds for every thread of the process while
// `update` runs.
[[nodiscard]] HRESULT RunForCurrentUser(HRESULT(STDAPICALLTYPE* update)());
