#include "server/user_registration.h"
#include "common/hresult.h"
#include "common/unique_handle.h"

HRESULT RunForCurrentUser(HRESULT(STDAPICALLTYPE* update)()) {
    UniqueHkey classes;
    LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, nullptr, classes.Receive(), nullptr);
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    error = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.Get());
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    const HRESULT hr = update();
    (void)RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    return hr;
}
