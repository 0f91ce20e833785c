// Start-up, shutdown and the exported entry points of the in-process server.
#include <windows.h>
#include <objbase.h>
#include "common/com_call_guard.h"
#include "common/hresult.h"
#include "common/resource_module.h"
#include "server/classes_key.h"
#include "server/server_module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        return SUCCEEDED(Module().Init(ClassTable(), instance)) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // A non-null `reserved` means the process is ending. Detaching cannot
        // fail: the loader ignores what DllMain answers here.
        (void)Module().Term(reserved != nullptr);
        return TRUE;
    default:
        return TRUE;
    }
}

// Every export runs behind the library's exception barrier (com_call_guard.h).
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    return GuardComCall([&] { return Module().GetClassObject(clsid, iid, ppv); });
}

STDAPI DllCanUnloadNow() {
    ResourceModuleScope scope(ThisModule());
    return Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

namespace {
// Registration below the classes key of `hive`: HKEY_LOCAL_MACHINE for the
// machine, HKEY_CURRENT_USER for the current user (server/classes_key.h).
HRESULT RegisterBelow(HKEY hive) {
    ClassesKey classes;
    QUARN_RETURN_IF_FAILED(OpenClassesKey(hive, &classes));
    return Module().RegisterServer(classes.Views());
}

// Unregistering removes what it can; whatever is left, it succeeds. Per user
// it takes the type library out too: left behind, the user's registration of
// it would shadow a later machine-wide one, with a path that may no longer
// exist. The machine-wide form leaves it registered.
HRESULT UnregisterBelow(HKEY hive) {
    ClassesKey classes;
    if (FAILED(OpenClassesKey(hive, &classes))) return S_OK;
    (void)Module().UnregisterServer(classes.Views());  // always S_OK
    if (hive == HKEY_CURRENT_USER) (void)Module().UnregisterTypeLibrary(classes.Views());
    return S_OK;
}
}  // namespace

STDAPI DllRegisterServer() {
    return GuardComCall([] { return RegisterBelow(HKEY_LOCAL_MACHINE); });
}

STDAPI DllUnregisterServer() {
    (void)GuardComCall([] { return UnregisterBelow(HKEY_LOCAL_MACHINE); });
    return S_OK;
}

// regsvr32 /n /i:user calls DllInstall(TRUE, L"user"), /u /n /i:user
// DllInstall(FALSE, L"user"): the same registration below the current user's
// classes key only, and the type library's unregistration with it. Without a
// command line it does what DllRegisterServer and DllUnregisterServer do.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    return GuardComCall([&] {
        if (commandLine == nullptr || *commandLine == L'\0')
            return install ? DllRegisterServer() : DllUnregisterServer();
        if (lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
        return install ? RegisterBelow(HKEY_CURRENT_USER) : UnregisterBelow(HKEY_CURRENT_USER);
    });
}
