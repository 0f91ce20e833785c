// Shows the About box of the built quarnver.dll, got through its exported
// class object, and reads it back while it runs; the box is then closed with
// IDCANCEL. The calling test program is the host whose resources the box uses.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>
#include <functional>
#include <string>
#include "test_support.h"

// What the running box showed.
struct AboutSnapshot {
    HRESULT result = E_FAIL;  // of DlgAbout
    bool shown = false;       // the window was found
    std::wstring caption;
    std::wstring title;       // control 1000
    std::wstring version;     // control 1002
    std::string notices;      // control 1001, as narrow text in the ANSI code page
    bool hasIcon = false;     // control 1003 holds an icon
    bool fontsRead = false;
    LOGFONTW dialogFont{};
    LOGFONTW titleFont{};
    HFONT titleFontHandle = nullptr;
    RECT dialogRect{};
    RECT boxRect{};           // group box 1004
};

// The module handle of the loaded library (loaded once per process).
HMODULE AboutLibraryModule();

// Calls DlgAbout(title, icon) and reads the box back; whileOpen, when given,
// runs on the reading thread before the box is closed. Any other dialog that
// opens instead is closed, so that the test fails rather than waits.
AboutSnapshot ShowAbout(const VARIANT& title, const VARIANT& icon,
                        const std::function<void(HWND)>& whileOpen = nullptr);

// Calls DlgAbout late-bound through IDispatch::Invoke with the given
// arguments (in their natural order) and reads the box back.
AboutSnapshot ShowAboutThroughDispatch(std::initializer_list<VARIANT> arguments, HRESULT* invokeResult);

VARIANT VariantI2(SHORT value);
VARIANT VariantI4(LONG value);
VARIANT VariantMissing();
