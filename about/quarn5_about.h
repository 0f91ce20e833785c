// The About object: shows the product's common About box for the calling
// application. It holds no state; IUnknown and IDispatch come from the
// server frame's object templates.
#pragma once
#include <windows.h>
#include "quarnver_h.h"

class Quarn5About : public IQuarn5About {
public:
    // Title: ID of a string, Icon: ID of an icon, both resources of the
    // calling process's executable; VT_I2 or VT_I4, anything else (omitted
    // included) means 0. Runs the box modally and answers S_OK; where no
    // window can be seen (common/interactive_window_station.h) it shows
    // nothing and fails with HRESULT_FROM_WIN32(
    // ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION).
    STDMETHODIMP DlgAbout(VARIANT Title, VARIANT Icon) override;
};
