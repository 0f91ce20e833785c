#include "server/user_registration.h"
#include "common/hresult.h"
#include "common/unique_handle.h"

namespace {
// Windows (Vista SP1 and later) lets RegisterTypeLib follow the redirection
// of HKEY_CLASSES_ROOT only after this call, which lasts as long as
// oleaut32.dll stays loaded. Systems without it (Wine) follow it anyway.
void LetTypeLibraryRegistrationFollowRedirection() {
    const HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    if (oleaut == nullptr) return;
    using EnableFn = void(WINAPI*)();
    const auto enable = reinterpret_cast<EnableFn>(
        reinterpret_cast<void*>(GetProcAddress(oleaut, "OaEnablePerUserTLibRegistration")));
    if (enable != nullptr) enable();
}
}  // namespace

HRESULT RunForCurrentUser(HRESULT(STDAPICALLTYPE* update)()) {
    UniqueHkey classes;
    LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, nullptr, classes.Receive(), nullptr);
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    LetTypeLibraryRegistrationFollowRedirection();
    error = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.Get());
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    const HRESULT hr = update();
    (void)RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    return hr;
}
