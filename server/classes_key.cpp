#include "server/classes_key.h"
#include "common/hresult.h"

namespace {
// `hive`\Software\Classes in `view`. "Software" is opened through the
// predefined key, which a caller's override maps in every call, and in the
// view, as is every key below it ("Accessing an Alternate Registry View").
// It is asked for reading only: a key below a handle is created as that key's
// own security allows, whatever the handle was opened for ("RegOpenKeyEx
// function"). "Classes" is asked for reading and writing where allowed, else
// for reading.
LONG OpenInView(HKEY hive, REGSAM view, UniqueHkey* classes) {
    UniqueHkey software;
    LONG error = RegCreateKeyExW(hive, L"Software", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | view, nullptr,
                                 software.Receive(), nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = RegCreateKeyExW(software.Get(), L"Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE | view, nullptr, classes->Receive(), nullptr);
    if (error == ERROR_SUCCESS ||
        RegOpenKeyExW(software.Get(), L"Classes", 0, KEY_READ | view, classes->Receive()) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return error;
}
}  // namespace

HRESULT OpenClassesKey(HKEY hive, ClassesKey* classes) {
    ClassesKey opened;
    LONG error = OpenInView(hive, KEY_WOW64_32KEY, &opened.view32);
    if (error == ERROR_SUCCESS) error = OpenInView(hive, KEY_WOW64_64KEY, &opened.view64);
    if (error != ERROR_SUCCESS) return HresultFromWin32(error);
    *classes = std::move(opened);
    return S_OK;
}
