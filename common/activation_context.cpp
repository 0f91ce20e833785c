#include "common/activation_context.h"
#include "common/resource_module.h"
#include "common/unique_handle.h"

namespace {
// Made once, from this module's manifest, on first use; released with the
// module, when its static objects go.
HANDLE LibraryContext() {
    static const UniqueActivationContext context = [] {
        ACTCTXW request = {sizeof request};
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.hModule = ThisModule();
        request.lpResourceName = MAKEINTRESOURCEW(2);
        return UniqueActivationContext(CreateActCtxW(&request));
    }();
    return context.Get();
}
}  // namespace

ActivationScope::ActivationScope() {
    const HANDLE context = LibraryContext();
    m_bActive = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &m_cookie);
}

ActivationScope::~ActivationScope() {
    if (m_bActive) DeactivateActCtx(0, m_cookie);
}
