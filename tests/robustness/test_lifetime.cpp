// Lifetime of the library and its objects: the library may be unloaded once
// its objects are gone, COM unloads it cleanly when it came in through the
// registry, an object outlives a dialog call during which the host let go of
// it, and ten thousand create, call and release cycles leave the
// process's handle count and memory where they were.
#include <doctest/doctest.h>
#include <cstdio>
#include "logon_test_support.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "robustness_support.h"
#include "standins/standin_control.h"

namespace {
const LONG kSilentNothingRemembered = 8;

INT_PTR CALLBACK EndAtOnce(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    EndDialog(dialog, IDOK);
    return TRUE;
}

// A modal dialog that ends itself before it is shown, as the silent logon
// does, made by the platform alone.
void PlatformSilentDialog() {
    alignas(4) WORD buffer[64] = {};
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    dialog->cx = 100;
    dialog->cy = 50;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog, nullptr, EndAtOnce, 0);
}

HMODULE LoadedLibrary() { return GetModuleHandleA(QUARNVER_DLL); }

// One cycle over both classes, early and late bound.
void Cycle(IClassFactory* logonFactory, IClassFactory* aboutFactory, bool logOn) {
    ComPtr<IQuarn5Logon> logon;
    REQUIRE(logonFactory->CreateInstance(nullptr, IID_IQuarn5Logon, logon.ReceiveVoid()) == S_OK);
    REQUIRE(logon->put_Level(kSilentNothingRemembered) == S_OK);
    if (logOn) REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
    ComPtr<IDispatch> dispatch;
    REQUIRE(logon.As(&dispatch) == S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"User");
    DISPID id = 0;
    REQUIRE(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id) == S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    UniqueVariant user;
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                        user.Receive(), nullptr, nullptr);
    // A failing member reaches a late-bound caller as an exception.
    REQUIRE(hr == (logOn ? S_OK : DISP_E_EXCEPTION));

    ComPtr<IQuarn5About> about;
    REQUIRE(aboutFactory->CreateInstance(nullptr, IID_IQuarn5About, about.ReceiveVoid()) == S_OK);
    ComPtr<ITypeInfo> info;
    REQUIRE(about->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Receive()) == S_OK);
    // The aggregated form, with a controlling object of this test.
    ComPtr<IUnknown> inner;
    REQUIRE(aboutFactory->CreateInstance(about.Get(), IID_IUnknown, inner.ReceiveVoid()) == S_OK);
}

// A host timer that, once the dialog with the caption is on screen, lets go
// of the object's last reference from inside the dialog's loop, asks whether
// the library could be unloaded, and then closes the dialog with a command.
struct HostLetsGo {
    const wchar_t* caption;
    WORD command;
    IUnknown* object;
    const QuarnverModule* dll;
    bool done = false;
    ULONG released = 0;
    HRESULT canUnloadWhileOpen = E_FAIL;
};
HostLetsGo* g_hostLetsGo = nullptr;

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, ARRAYSIZE(caption));
    if (!IsWindowVisible(window) || wcscmp(caption, g_hostLetsGo->caption) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK HostTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    HostLetsGo& host = *g_hostLetsGo;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || host.done) return;
    KillTimer(nullptr, timer);
    host.done = true;
    host.released = host.object->Release();
    host.canUnloadWhileOpen = host.dll->CanUnloadNow();
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(host.command, BN_CLICKED), 0);
}
}  // namespace

TEST_CASE("the library may be unloaded after use, and the stand-ins hold no objects") {
    ComApartment com;
    LogonKeyGuard key;
    RegistrationGuard registration;
    REQUIRE(ResetStandIns() == S_OK);
    QuarnverModule dll;
    REQUIRE(dll.RegisterServer() == S_OK);
    {
        InProcessStandInServer server;
        REQUIRE(server.Registered() == S_OK);
        ComPtr<IClassFactory> logonFactory = dll.Factory(CLSID_Quarn5Logon);
        ComPtr<IClassFactory> aboutFactory = dll.Factory(CLSID_Quarn5About);
        REQUIRE(logonFactory);
        REQUIRE(aboutFactory);
        Cycle(logonFactory.Get(), aboutFactory.Get(), true);
        CHECK(dll.CanUnloadNow() == S_FALSE);  // the class objects are held
        ComPtr<IQuarn5Logon> logon = dll.Create<IQuarn5Logon>(CLSID_Quarn5Logon);
        REQUIRE(logon->put_Level(kSilentNothingRemembered) == S_OK);
        REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
        ComPtr<IUnknown> control;
        CHECK(logon->GetQuarnCtlDocument(control.Receive()) == S_OK);
        CHECK(StandInLiveObjects(StandInKind::CtlDocument) == 1);
        control.Reset();
        logon.Reset();
        logonFactory.Reset();
        aboutFactory.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);
    }
    for (int kind = 0; kind < kStandInKindCount; ++kind)
        CHECK(WaitForStandInLiveObjects(static_cast<StandInKind>(kind), 0));
    CHECK(dll.UnregisterServer() == S_OK);
}

TEST_CASE("COM unloads the library it loaded through the registry") {
    ComApartment com;
    LogonKeyGuard key;
    RegistrationGuard registration;
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    CoFreeUnusedLibrariesEx(0, 0);
    REQUIRE(LoadedLibrary() == nullptr);

    for (int round = 0; round < 3; ++round) {
        CAPTURE(round);
        {
            ComPtr<IQuarn5Logon> logon;
            REQUIRE(CoCreateInstance(CLSID_Quarn5Logon, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5Logon,
                                     logon.ReceiveVoid()) == S_OK);
            ComPtr<IQuarn5About> about;
            REQUIRE(CoCreateInstance(CLSID_Quarn5About, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5About,
                                     about.ReceiveVoid()) == S_OK);
            CHECK(LoadedLibrary() != nullptr);
            // Late binding loads the type information, which unloading frees.
            ComPtr<IDispatch> dispatch;
            REQUIRE(logon.As(&dispatch) == S_OK);
            DISPPARAMS none = {nullptr, nullptr, 0, 0};
            UniqueVariant level;
            CHECK(dispatch->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, level.Receive(),
                                   nullptr, nullptr) == S_OK);
            CoFreeUnusedLibrariesEx(0, 0);
            CHECK(LoadedLibrary() != nullptr);  // objects alive: it stays
        }
        CoFreeUnusedLibrariesEx(0, 0);
        CHECK(LoadedLibrary() == nullptr);
    }
    {
        QuarnverModule dll;
        CHECK(dll.UnregisterServer() == S_OK);
    }
}

TEST_CASE("ten thousand create, call and release cycles leave handles and memory where they were") {
    ComApartment com;
    LogonKeyGuard key;
    RegistrationGuard registration;
    REQUIRE(ResetStandIns() == S_OK);
    QuarnverModule dll;
    REQUIRE(dll.RegisterServer() == S_OK);
    InProcessStandInServer server;
    REQUIRE(server.Registered() == S_OK);
    ComPtr<IClassFactory> logonFactory = dll.Factory(CLSID_Quarn5Logon);
    ComPtr<IClassFactory> aboutFactory = dll.Factory(CLSID_Quarn5About);
    REQUIRE(logonFactory);
    REQUIRE(aboutFactory);

    // Warm-up: caches, heaps and COM's own tables reach their working size.
    for (int i = 0; i < 500; ++i) Cycle(logonFactory.Get(), aboutFactory.Get(), false);
    // The platform's part of a logon alone, without the library: what the
    // logon cycles cost beyond it is the library's.
    auto platformOnly = [] {
        ComPtr<IClassFactory> factory;
        REQUIRE(CoGetClassObject(StandInKindClsid(StandInKind::Server), CLSCTX_LOCAL_SERVER, nullptr,
                                 IID_IClassFactory, factory.ReceiveVoid()) == S_OK);
        factory->LockServer(TRUE);
        factory->LockServer(FALSE);
    };
    struct Phase {
        const char* name;
        int cycles;
        int kind;  // 0: the library, 1: with a silent logon, 2 and 3: the platform's parts of a logon
    } phases[] = {
        {"create, call late and early bound, release", 10000, 0},
        // Each silent logon also goes through the stand-in server's class
        // object and its channel in the registry, which costs milliseconds.
        {"the same with a silent logon", 500, 1},
        {"the server's class object alone, without the library", 500, 2},
        {"a dialog that ends itself, without the library", 500, 3},
    };
    for (const Phase& phase : phases) {
        const ProcessFigures before = MeasureProcess();
        const double start = Seconds();
        for (int i = 0; i < phase.cycles; ++i) {
            if (phase.kind == 2) platformOnly();
            else if (phase.kind == 3) PlatformSilentDialog();
            else Cycle(logonFactory.Get(), aboutFactory.Get(), phase.kind == 1);
        }
        const double elapsed = Seconds() - start;
        const ProcessFigures after = MeasureProcess();
        printf("%s, %d cycles in %.1f s\n  before: %s\n  after:  %s\n", phase.name, phase.cycles, elapsed,
               Describe(before).c_str(), Describe(after).c_str());
        // A fixed slack for what the platform settles on; a leak of a few
        // bytes or of one handle per cycle is well above it.
        CHECK(after.handles <= before.handles + 8);
        CHECK(after.nextHandle <= before.nextHandle + 8 * 4);
        CHECK(after.heapBytes <= before.heapBytes + 48 * 1024);
        if (phase.kind == 0) CHECK(after.privateBytes <= before.privateBytes + 1024 * 1024);
    }

    logonFactory.Reset();
    aboutFactory.Reset();
    CHECK(dll.CanUnloadNow() == S_OK);
    CHECK_FALSE(LogonKeyExists());
    dll.UnregisterServer();
}

TEST_CASE("an object whose host lets go of it while its dialog is open lives until the call returns") {
    ComApartment com;
    LogonKeyGuard key;
    REQUIRE(ResetStandIns() == S_OK);
    QuarnverModule dll;
    InProcessStandInServer server;
    REQUIRE(server.Registered() == S_OK);
    const LONG kUserRowNothingRemembered = 1 | 8;

    struct Case {
        const char* name;
        const wchar_t* caption;
        WORD command;  // what closes the dialog
    } cases[] = {
        {"logon dialog, confirmed", L"Регистрация", IDOK},
        {"About box", L"О программе", IDCANCEL},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        const bool logon = c.command == IDOK;
        ComPtr<IUnknown> object;
        HRESULT hr = E_FAIL;
        {
            ComPtr<IClassFactory> factory = dll.Factory(logon ? CLSID_Quarn5Logon : CLSID_Quarn5About);
            REQUIRE(factory);
            REQUIRE(factory->CreateInstance(nullptr, logon ? IID_IQuarn5Logon : IID_IQuarn5About,
                                            object.ReceiveVoid()) == S_OK);
        }
        // The host's one reference goes to the timer, which releases it.
        IUnknown* raw = object.Take();
        HostLetsGo host{c.caption, c.command, raw, &dll};
        g_hostLetsGo = &host;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, HostTimer);
        REQUIRE(timer != 0);
        if (logon) {
            auto* logonObject = static_cast<IQuarn5Logon*>(raw);
            REQUIRE(logonObject->put_Level(kUserRowNothingRemembered) == S_OK);
            hr = Initialize(logonObject, L"клиент").hr;
        } else {
            hr = static_cast<IQuarn5About*>(raw)->DlgAbout(*Missing().Get(), *Missing().Get());
        }
        KillTimer(nullptr, timer);
        g_hostLetsGo = nullptr;
        REQUIRE(host.done);
        CHECK(hr == S_OK);
        CHECK(host.released > 0);
        CHECK(host.canUnloadWhileOpen == S_FALSE);
        // The call's own hold was the last: the object is gone with it.
        CHECK(dll.CanUnloadNow() == S_OK);
    }
}
