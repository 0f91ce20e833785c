// How the windows of a thread follow the scale of the screen they are on, and
// the platform's scale queries that only its newer versions have. Every such
// query is looked up in user32 through the module's GetProcAddress import on
// each call, never kept: the library still loads where one is missing, and a
// test can answer in the platform's place by patching that one import.
#pragma once
#include <windows.h>

enum class DpiAwareness {
    // Unaware or aware of the system's one scale: the system stretches the
    // windows and sends them no WM_DPICHANGED.
    Stretched,
    // Per-monitor (v1): WM_DPICHANGED arrives, and moving, sizing and fonts
    // at the new scale are the window's own job.
    PerMonitor,
    // Per-monitor v2: the dialog manager re-lays out a dialog, its controls
    // and fonts as its default handling of WM_DPICHANGED.
    PerMonitorV2,
};

// The awareness of the windows the calling thread creates now.
[[nodiscard]] DpiAwareness ThreadDpiAwareness();

// The window's DPI; 0 where the platform cannot tell it per window.
[[nodiscard]] UINT WindowDpi(HWND window);

// A system metric at the given DPI; the system's own where the platform
// cannot tell it per DPI.
[[nodiscard]] int SystemMetricForDpi(int index, UINT dpi);
