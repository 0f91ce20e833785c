#include "common/dpi_awareness.h"

namespace {
// A function of user32 by name; null where this version of the platform
// does not have it.
template <typename Fn>
Fn User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}
}  // namespace

DpiAwareness ThreadDpiAwareness() {
    const auto threadContext =
        User32Function<DPI_AWARENESS_CONTEXT(WINAPI*)()>("GetThreadDpiAwarenessContext");
    const auto equal = User32Function<BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT)>(
        "AreDpiAwarenessContextsEqual");
    // Before awareness was kept per thread, only per-monitor processes got
    // WM_DPICHANGED at all.
    if (!threadContext || !equal) return DpiAwareness::PerMonitor;
    // Contexts are compared by the platform, never as values.
    const DPI_AWARENESS_CONTEXT context = threadContext();
    if (equal(context, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return DpiAwareness::PerMonitorV2;
    if (equal(context, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return DpiAwareness::PerMonitor;
    return DpiAwareness::Stretched;
}

UINT WindowDpi(HWND window) {
    const auto dpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    return dpiForWindow && window ? dpiForWindow(window) : 0;
}

int SystemMetricForDpi(int index, UINT dpi) {
    const auto metricForDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return metricForDpi ? metricForDpi(index, dpi) : GetSystemMetrics(index);
}
