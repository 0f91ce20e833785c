#include "robustness_support.h"
#include <psapi.h>
#include <cstdio>

const wchar_t kAboutCaption[] = L"О программе";

namespace {
struct BoxSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindAboutBoxProc(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (lstrcmpW(cls, L"#32770") != 0) return TRUE;
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (lstrcmpW(caption, kAboutCaption) != 0) return TRUE;
    reinterpret_cast<BoxSearch*>(param)->found = window;
    return FALSE;
}
}  // namespace

HWND FindAboutBox() {
    BoxSearch search;
    EnumWindows(FindAboutBoxProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void InvokeWith(IDispatch* object, DISPID dispid, WORD flags, std::vector<VARIANT> arguments,
                std::vector<DISPID> named, InvokeOutcome* outcome) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), named.empty() ? nullptr : named.data(),
                         static_cast<UINT>(reversed.size()), static_cast<UINT>(named.size())};
    EXCEPINFO exception = {};
    VariantClear(&outcome->result);
    outcome->hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &outcome->result,
                                 &exception, &outcome->argErr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

VARIANT VariantOfI4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT VariantOfMissing() {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}

ProcessFigures MeasureProcess() {
    ProcessFigures figures;
    GetProcessHandleCount(GetCurrentProcess(), &figures.handles);
    // New handles take the lowest free slot, so a leak shows as a rising
    // value even where the count is not available.
    if (const HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        figures.nextHandle = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(probe));
        CloseHandle(probe);
    }
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        figures.privateBytes = counters.PagefileUsage;
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) figures.heapBytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return figures;
}

std::string Describe(const ProcessFigures& figures) {
    char text[240];
    snprintf(text, sizeof text, "handles %lu (next handle 0x%lX), private bytes %lu, heap bytes in use %lu",
             static_cast<unsigned long>(figures.handles), static_cast<unsigned long>(figures.nextHandle),
             static_cast<unsigned long>(figures.privateBytes),
             static_cast<unsigned long>(figures.heapBytes));
    return text;
}

double Seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
