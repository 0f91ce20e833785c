// Start-up, shutdown and the exported entry points of the in-process server.
#include <windows.h>
#include <objbase.h>
#include "common/com_call_guard.h"
#include "common/resource_module.h"
#include "server/server_module.h"
#include "server/user_registration.h"

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

STDAPI DllRegisterServer() {
    return GuardComCall([] { return Module().RegisterServer(); });
}

STDAPI DllUnregisterServer() {
    // Unregistering removes what it can; whatever is left, it succeeds.
    (void)GuardComCall([] { return Module().UnregisterServer(); });
    return S_OK;
}

namespace {
// Per user, unregistering takes the type library out too: left behind, the
// user's registration of it would shadow a later machine-wide one, with a
// path that may no longer exist. The machine-wide form leaves it registered.
// NOTE: runs with HKEY_CLASSES_ROOT pointing at the user's classes; the
// system's UnRegisterTypeLib is not used, since Wine's also removes the
// Interface keys of the other registry view from the machine's classes.
HRESULT STDAPICALLTYPE UnregisterServerForUser() {
    (void)DllUnregisterServer();  // always S_OK
    // Unregistering removes what it can; whatever is left, it succeeds.
    (void)GuardComCall([] { return Module().UnregisterTypeLibrary(HKEY_CLASSES_ROOT); });
    return S_OK;
}
}  // namespace

// regsvr32 /n /i:user calls DllInstall(TRUE, L"user"), /u /n /i:user
// DllInstall(FALSE, L"user"): the same registration for the current user only,
// and the type library's unregistration with it. Without a command line it
// does what DllRegisterServer and DllUnregisterServer do.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    return GuardComCall([&] {
        if (commandLine == nullptr || *commandLine == L'\0')
            return install ? DllRegisterServer() : DllUnregisterServer();
        if (lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
        return RunForCurrentUser(install ? &DllRegisterServer : &UnregisterServerForUser);
    });
}
