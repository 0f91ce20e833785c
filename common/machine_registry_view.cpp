#include "common/machine_registry_view.h"
#include <windows.h>
#include "common/unique_handle.h"

namespace {

// The process token's pseudo-handle (GetCurrentProcessToken on Windows 8 and
// later), asked without opening or closing anything; Windows 7 refuses it.
const HANDLE kProcessTokenPseudoHandle = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));

// Whether the process's registry is virtualized; true also where its token
// cannot be asked, so that the view errs on the side of the machine's values.
bool ProcessVirtualized() {
    DWORD enabled = 0;
    DWORD size = 0;
    if (GetTokenInformation(kProcessTokenPseudoHandle, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size))
        return enabled != 0;
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        token.Take();  // a failed call leaves no handle
        return true;
    }
    return !GetTokenInformation(token.Get(), TokenVirtualizationEnabled, &enabled, sizeof enabled, &size) ||
           enabled != 0;
}

// Whether the thread runs on a token of its own. Every answer but
// ERROR_NO_TOKEN means it holds one, even one it may not open (anonymous).
bool ThreadImpersonates() {
    UniqueKernelHandle token;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive())) return true;
    const DWORD error = GetLastError();
    token.Take();
    return error != ERROR_NO_TOKEN;
}

}  // namespace

MachineRegistryView::MachineRegistryView() {
    if (!ProcessVirtualized() || ThreadImpersonates()) return;
    m_impersonating = ImpersonateSelf(SecurityImpersonation) != FALSE;
    m_ready = m_impersonating;
}

MachineRegistryView::~MachineRegistryView() {
    if (m_impersonating && !RevertToSelf()) RaiseFailFastException(nullptr, nullptr, 0);
}
