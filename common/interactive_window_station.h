// Whether a window of this process can be seen by a user at all. Only the
// interactive window station of a user's session shows windows: a service,
// or a scheduled task run "whether the user is logged on or not", runs in a
// window station without WSF_VISIBLE, and session 0 has held services only,
// never a user, since Windows Vista. A modal dialog opened there waits for
// ever for an answer nobody can give, so the library asks before it makes one.
#pragma once
#include <windows.h>

// S_OK where a window can be seen; HRESULT_FROM_WIN32(
// ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION) (0x800705B3) where the process's
// window station is not visible or the process runs in session 0. A question
// the platform cannot answer does not stop the caller: making the window then
// reports what is wrong.
[[nodiscard]] HRESULT RequireInteractiveWindowStation();
