#include "server/classes_key.h"
#include "common/hresult.h"

HRESULT OpenClassesKey(HKEY hive, UniqueHkey* classes) {
    // The hive's own key first, which follows an override of the predefined
    // key; a view flag given with a predefined key bypasses its override (Wine).
    UniqueHkey root, key;
    LONG error = RegOpenKeyExW(hive, L"", 0, KEY_READ | KEY_CREATE_SUB_KEY, root.Receive());
    if (error != ERROR_SUCCESS) error = RegOpenKeyExW(hive, L"", 0, KEY_READ, root.Receive());
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    // Software\Classes is one key for both registry views, and the 64-bit
    // view names it on every system, also where all of Software is redirected
    // for 32-bit programs (Wine). The keys below it are then opened in the
    // module's own view, redirected where the system redirects them.
    error = RegCreateKeyExW(root.Get(), L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.Receive(), nullptr);
    if (error != ERROR_SUCCESS &&
        RegOpenKeyExW(root.Get(), L"Software\\Classes", 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        return HresultFromWin32(error);
    *classes = std::move(key);
    return S_OK;
}
