#include "common/dialog_owner.h"

HWND DialogOwner() {
    const HWND active = GetActiveWindow();
    if (!active) return nullptr;
    // A child cannot own a window; the dialog manager would disable only it.
    if (GetWindowLongW(active, GWL_STYLE) & WS_CHILD) return GetAncestor(active, GA_ROOT);
    return active;
}
