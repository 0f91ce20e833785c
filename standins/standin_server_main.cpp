// quarn_standin_server.exe: the local server of the stand-in translation
// server class QuarnSvrDirections.
//   /RegServer    registers the class (LocalServer32 = this file) and the type library
//   /UnregServer  removes them again
//   otherwise (COM starts it with -Embedding) it serves the class object until
//   no object and no lock has been left for the idle time (a minute unless a
//   test set another, SetStandInServerIdleTime).
//
// The grace period is there because Wine's class-object proxy answers
// LockServer itself: a client that holds the class object between two
// CreateInstance calls cannot keep this process alive by locking it.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include "server_object.h"
#include "standin_channel.h"
#include "standin_module.h"
#include "standin_registration.h"
#include "standin_type_info.h"
#include "standins_h.h"

namespace {

constexpr UINT kIdleCheckMs = 250;

bool IsSwitch(const wchar_t* argument, const wchar_t* name) {
    return (argument[0] == L'/' || argument[0] == L'-') && lstrcmpiW(argument + 1, name) == 0;
}

HRESULT Register() {
    const std::wstring path = ModulePathOf(reinterpret_cast<const void*>(&Register));
    if (path.empty()) return E_FAIL;
    HRESULT hr = RegisterStandInClass(CLSID_QuarnSvrDirections, L"QuarnSvrDirections stand-in", L"LocalServer32",
                                      L"\"" + path + L"\"", nullptr);
    if (SUCCEEDED(hr)) hr = RegisterStandInTypeLib(path);
    return hr;
}

HRESULT Unregister() {
    const HRESULT hr = UnregisterStandInClass(CLSID_QuarnSvrDirections);
    const HRESULT typeLib = UnregisterStandInTypeLib(CLSID_QuarnCtlDirections, L"InprocServer32");
    RemoveStandInChannel();
    return FAILED(hr) ? hr : typeLib;
}

HRESULT Serve() {
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_QuarnSvrDirections, &ServerClassFactory::Instance(),
                                       CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) return hr;
    StandInModuleNoteActivity();
    SetTimer(nullptr, 0, kIdleCheckMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            if (StandInModuleIdle() && StandInModuleIdleMs() >= ServerIdleTimeMs()) break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return CoRevokeClassObject(cookie);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    enum class Mode { Serve, Register, Unregister } mode = Mode::Serve;
    for (int i = 1; arguments && i < count; ++i) {
        if (IsSwitch(arguments[i], L"RegServer")) mode = Mode::Register;
        if (IsSwitch(arguments[i], L"UnregServer")) mode = Mode::Unregister;
    }
    LocalFree(arguments);

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    HRESULT hr = S_OK;
    switch (mode) {
    case Mode::Register: hr = Register(); break;
    case Mode::Unregister: hr = Unregister(); break;
    case Mode::Serve: hr = Serve(); break;
    }
    FreeStandInTypeInfo();
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}
