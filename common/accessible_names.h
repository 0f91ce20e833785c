// What screen readers read for controls whose own text cannot say it: a
// picture that only decorates, and an edit whose label is not the static
// text the platform would take for it.
#pragma once
#include <windows.h>
#include <oleacc.h>
#include <string>
#include <vector>
#include "common/com_ptr.h"

// Controls given an empty accessible name by dynamic annotation
// (IAccPropServices), so that screen readers pass over them. The window text
// of an SS_ICON static cannot serve: setting it loads an icon by that name.
class DecorativeControls {
public:
    DecorativeControls() = default;
    ~DecorativeControls() { Clear(); }
    DecorativeControls(const DecorativeControls&) = delete;
    DecorativeControls& operator=(const DecorativeControls&) = delete;

    // Marks the control; without the annotation service (no COM on the
    // thread, an older system) it keeps the name the platform gives it.
    void Add(HWND control);
    // Takes every annotation back and lets the service go. Call while the
    // controls still exist: an annotation outlives its window otherwise.
    void Clear();

private:
    ComPtr<IAccPropServices> m_services;
    std::vector<HWND> m_controls;
};

// Names `control` for screen readers with `text`: the platform names an
// unlabelled control from the static text before it in z-order, stopping at
// a group box or a tab stop ("Providing the Name Property"), so a hidden
// static of no size, placed just before the control, is its label. No size,
// so that a layout scaled from the controls' places leaves it none.
void AddHiddenLabel(HWND control, const std::wstring& text);
