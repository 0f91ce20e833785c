// The window that owns a modal dialog of the library: the host's window the
// user is working in. Owned, the dialog stays in front of it and opens in the
// foreground with it, and the dialog manager disables it while the dialog
// runs, so the host cannot be closed or asked for a second dialog meanwhile.
#pragma once
#include <windows.h>

// The calling thread's active window, or its top-level window when the active
// window is a child; null when the thread has no active window.
HWND DialogOwner();
