#include "about/quarn5_about.h"
#include "about/about_dialog.h"
#include "about/resource_id_argument.h"
#include "common/com_call_guard.h"
#include "common/interactive_window_station.h"
#include "common/resource_module.h"
#include "server/call_keep_alive.h"

STDMETHODIMP Quarn5About::DlgAbout(VARIANT Title, VARIANT Icon) {
    // Template 100 and its texts are this library's resources; the title,
    // icon and version come from the calling process's executable.
    ResourceModuleScope scope(ThisModule());
    // The box's loop dispatches the host's messages.
    CallKeepAlive alive(this);
    // Where nobody can see the box, nobody can close it: fail instead of
    // waiting for ever.
    const HRESULT interactive = RequireInteractiveWindowStation();
    if (FAILED(interactive)) return interactive;
    // Once shown, the box gives nothing back: whatever stops it, the caller sees S_OK.
    (void)GuardComCall([&] {
        const HMODULE host = GetModuleHandleW(nullptr);
        const LONG titleId = ResourceIdFromArgument(Title);
        const LONG iconId = ResourceIdFromArgument(Icon);
        AboutDialog dialog(host, titleId, iconId);
        (void)dialog.DoModal();  // however the box was closed, there is nothing to answer
        return S_OK;
    });
    return S_OK;
}
