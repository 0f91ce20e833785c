#include "common/interactive_window_station.h"
#include "common/hresult.h"

HRESULT RequireInteractiveWindowStation() {
    const HRESULT notInteractive = HresultFromWin32(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    // The process's own station; its handle is not to be closed.
    if (const HWINSTA station = GetProcessWindowStation()) {
        USEROBJECTFLAGS flags = {};
        DWORD needed = 0;
        if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
            !(flags.dwFlags & WSF_VISIBLE))
            return notInteractive;
    }
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) return notInteractive;
    return S_OK;
}
