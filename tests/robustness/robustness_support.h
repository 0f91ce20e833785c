// What the robustness tests share: the modal About box closed from a second
// thread, late-bound calls with DISPPARAMS built
// from a list, and the figures of the process's handles and memory.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <atomic>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

// Caption of the About box.
extern const wchar_t kAboutCaption[];

// Runs call() on this thread while a second thread closes the About box it
// may show; returns the call's result and whether a box came up.
struct BoxCall {
    HRESULT hr = E_NOTIMPL;
    bool shown = false;
};
template <typename Call>
BoxCall CallClosingAboutBox(Call call);
HWND FindAboutBox();

// IDispatch::Invoke with positional arguments given in call order (they are
// reversed into DISPPARAMS) and, optionally, named-argument DISPIDs.
struct InvokeOutcome {
    HRESULT hr = E_NOTIMPL;
    VARIANT result;
    UINT argErr = 0xFFFFFFFF;
    InvokeOutcome() { VariantInit(&result); }
    ~InvokeOutcome() { VariantClear(&result); }
    InvokeOutcome(const InvokeOutcome&) = delete;
    InvokeOutcome& operator=(const InvokeOutcome&) = delete;
};
void InvokeWith(IDispatch* object, DISPID dispid, WORD flags, std::vector<VARIANT> arguments,
                std::vector<DISPID> named, InvokeOutcome* outcome);

// Plain VARIANT values (nothing to free).
VARIANT VariantOfI4(LONG value);
VARIANT VariantOfMissing();

// The process's open handles and committed private memory.
struct ProcessFigures {
    DWORD handles = 0;        // GetProcessHandleCount (Wine answers 0)
    DWORD nextHandle = 0;     // value of a new handle: climbs as handles leak
    SIZE_T privateBytes = 0;  // PagefileUsage
    SIZE_T heapBytes = 0;     // bytes in busy blocks of the process heaps
};
ProcessFigures MeasureProcess();
std::string Describe(const ProcessFigures& figures);

// Seconds since an arbitrary start, for bounding loops by time.
double Seconds();

template <typename Call>
BoxCall CallClosingAboutBox(Call call) {
    BoxCall result;
    std::atomic<bool> returned{false};
    // The box is closed once, as soon as it shows; a call that shows none
    // lets the thread go when it returns.
    std::thread driver([&] {
        HWND box = nullptr;
        while (!returned && !(box = FindAboutBox())) Sleep(5);
        if (!box) return;
        result.shown = true;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    result.hr = call();
    returned = true;
    driver.join();
    return result;
}
