#include "server/classes_key.h"
#include "common/hresult.h"

namespace {
// Software\Classes below `root` in `view`, for reading and writing where allowed, else for reading.
LONG OpenInView(HKEY root, REGSAM view, UniqueHkey* key) {
    const LONG error = RegCreateKeyExW(root, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_READ | KEY_WRITE | view, nullptr, key->Receive(), nullptr);
    if (error == ERROR_SUCCESS ||
        RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ | view, key->Receive()) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return error;
}
}  // namespace

HRESULT OpenClassesKey(HKEY hive, ClassesKey* classes) {
    // The hive's own key first, which follows an override of the predefined
    // key; a view flag given with a predefined key bypasses its override (Wine).
    // With an empty name the predefined handle itself may come back
    // ("RegOpenKeyEx function"): it is used, and never closed.
    HKEY root = nullptr;
    LONG error = RegOpenKeyExW(hive, L"", 0, KEY_READ | KEY_CREATE_SUB_KEY, &root);
    if (error != ERROR_SUCCESS) error = RegOpenKeyExW(hive, L"", 0, KEY_READ, &root);
    UniqueHkey owned(error == ERROR_SUCCESS && root != hive ? root : nullptr);
    ClassesKey opened;
    if (error == ERROR_SUCCESS) error = OpenInView(root, KEY_WOW64_32KEY, &opened.view32);
    if (error == ERROR_SUCCESS) error = OpenInView(root, KEY_WOW64_64KEY, &opened.view64);
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    *classes = std::move(opened);
    return S_OK;
}
