// The logon object: defaults, arguments of Initialize, the flag word, the
// state before and after a logon, what it asks COM for, and where the
// password policies let it remember the password.
#include <doctest/doctest.h>
#include <windows.h>
#include <wincred.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <vector>
#include "common/unique_handle.h"
#include "import_patch.h"
#include "quarn_server_h.h"
#include "resources/resource.h"
#include "logon_test_support.h"
#include "recording_server.h"

namespace {
const HRESULT kNotLoggedOn = static_cast<HRESULT>(0x800F0000);

struct ObjectFixture {
    ComApartment com;
    LogonKeyGuard key;
    RecordingClasses classes;
    ObjectFixture() { Recorded().Reset(); }
};

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

// What the library's CoGetClassObject calls asked for. As on Windows ("CoGetClassObject function": a remote
// activation needs CLSCTX_REMOTE_SERVER), not Wine, server information without it finds no class; with it, remote
// names fail with remoteResult unless it is S_OK. The rest goes on to COM, which under Wine ignores the name.
struct ActivationCall {
    CLSID clsid;
    DWORD context;
    bool hasServerInfo;
    std::wstring name;
    DWORD reserved1, reserved2;
    bool hasAuthInfo;
    IID iid;
};
std::vector<ActivationCall> g_activations;
HRESULT g_remoteResult = S_OK;
ImportPatch* g_patch = nullptr;

HRESULT WINAPI RecordingCoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* info, REFIID iid, void** ppv) {
    ActivationCall call{clsid, context, info != nullptr, L"", 0, 0, false, iid};
    if (info) {
        call.name = info->pwszName ? info->pwszName : L"<null>";
        call.reserved1 = info->dwReserved1;
        call.reserved2 = info->dwReserved2;
        call.hasAuthInfo = info->pAuthInfo != nullptr;
    }
    g_activations.push_back(call);
    if (info && (!(context & CLSCTX_REMOTE_SERVER) || FAILED(g_remoteResult))) {
        *ppv = nullptr;
        return context & CLSCTX_REMOTE_SERVER ? g_remoteResult : REGDB_E_CLASSNOTREG;
    }
    using Fn = HRESULT(WINAPI*)(REFCLSID, DWORD, COSERVERINFO*, REFIID, void**);
    return reinterpret_cast<Fn>(g_patch->Original())(clsid, context, info, iid, ppv);
}

// Image requests of the library, counted and refused.
int g_imageRequests = 0;
HANDLE WINAPI CountingLoadImage(HINSTANCE, LPCWSTR, UINT, int, int, UINT) {
    ++g_imageRequests;
    return nullptr;
}

struct ActivationFixture : ObjectFixture {
    ImportPatch patch{QuarnverLibrary(), "ole32.dll", "CoGetClassObject",
                      reinterpret_cast<void*>(&RecordingCoGetClassObject)};
    ActivationFixture() {
        g_patch = &patch;
        g_activations.clear();
        g_remoteResult = S_OK;
    }
    ~ActivationFixture() { g_patch = nullptr; }
};
}  // namespace

TEST_CASE_FIXTURE(ObjectFixture, "with nothing remembered the logon is silent, for the Windows user on this computer") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    LONG level = -1;
    CHECK(logon->get_Level(&level) == S_OK);
    CHECK(level == 0);

    // Unseen, the dialog draws nothing: not one icon is loaded.
    g_imageRequests = 0;
    ImportPatch images(QuarnverLibrary(), "user32.dll", "LoadImageW", reinterpret_cast<void*>(&CountingLoadImage));
    REQUIRE(images.Patched());
    bool shown = false;
    const UniqueVariant missing = Missing();
    const InitializeResult result =
        InitializeSilently(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), &shown);
    CHECK_FALSE(shown);
    CHECK(g_imageRequests == 0);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 1);

    CHECK(Get(logon.Get(), Property::Client) == L"client");
    CHECK(Get(logon.Get(), Property::User) == AnsiToWide(UserNameA()));
    CHECK(Get(logon.Get(), Property::Server) == AnsiToWide(ComputerNameA()));
    CHECK(Get(logon.Get(), Property::Password).empty());
    CHECK(Remembered(L"User") == AnsiToWide(UserNameA()));
    CHECK(Remembered(L"Server") == AnsiToWide(ComputerNameA()));
    CHECK(Remembered(L"Password").empty());
    CHECK(Remembered(L"Level") == L"<missing>");

    // The server's class object is held and locked once.
    CHECK(Recorded().lockBalance == 1);
    CHECK(Recorded().factoryReferences == 1);
}

TEST_CASE_FIXTURE(ObjectFixture, "a logged-on object refuses a second logon and gives the lock back when destroyed") {
    Remember(L"User", L"Иван");
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(Initialize(logon.Get(), L"first").hr == S_OK);
    REQUIRE(Recorded().lockBalance == 1);

    bool shown = false;
    const UniqueVariant other = Text(L"Другой");
    LONG out = 0x5A;
    UniqueBstr client(SysAllocString(L"second"));
    RunModal([&] { CHECK(logon->Initialize(client.Get(), *other.Get(), *other.Get(), *other.Get(), &out) == E_FAIL); },
             [&] { shown = WaitForWindow(kLogonCaption, 500) != nullptr; });
    CHECK_FALSE(shown);
    CHECK(out == 0x5A);
    CHECK(Get(logon.Get(), Property::Client) == L"first");
    CHECK(Get(logon.Get(), Property::User) == L"Иван");

    Recorded().factoryEvents.clear();
    logon = nullptr;
    CHECK(Recorded().lockBalance == 0);
    CHECK(Recorded().factoryReferences == 0);
    const std::vector<std::wstring>& events = Recorded().factoryEvents;
    REQUIRE_FALSE(events.empty());
    CHECK(events.front() == L"LockServer(0)");
    CHECK(events.back() == L"Release");
}

TEST_CASE_FIXTURE(ObjectFixture, "optional arguments replace the remembered values as text") {
    const std::wstring computer = AnsiToWide(ComputerNameA());
    BSTR referencedText = SysAllocString(L"по ссылке");
    VARIANT referencedVariant;
    VariantInit(&referencedVariant);
    V_VT(&referencedVariant) = VT_R8;
    V_R8(&referencedVariant) = 7;
    VARIANT nestedReference;
    VariantInit(&nestedReference);
    V_VT(&nestedReference) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&nestedReference) = &referencedText;

    struct Row {
        const char* name;
        std::function<UniqueVariant()> server, user, password;
        std::wstring expectServer, expectUser, expectPassword;
    };
    auto missing = [] { return Missing(); };
    auto text = [](const wchar_t* t) { return [t] { return Text(t); }; };
    auto typed = [](VARTYPE type, std::function<void(VARIANT*)> fill) {
        return [type, fill] {
            UniqueVariant v;
            V_VT(v.Get()) = type;
            fill(v.Get());
            return v;
        };
    };
    const std::wstring user = L"запомнен", password = L"пароль", server = Lower(computer);
    const Row rows[] = {
        {"omitted", missing, missing, missing, server, user, password},
        {"empty VARIANT", [] { return Empty(); }, [] { return Empty(); }, [] { return Empty(); }, server, user, password},
        {"texts", text(L"SRV"), text(L"Пётр"), text(L"тайна"), L"SRV", L"Пётр", L"тайна"},
        {"empty strings", text(L""), text(L""), text(L""), L"", L"", L""},
        {"VT_R8 42", missing, [] { return Real(42); }, missing, server, L"42", password},
        {"VT_UI4 in range", missing, [] { return Unsigned(2147483647u); }, missing, server, L"2147483647", password},
        {"VT_UI4 above 2147483647", missing, [] { return Unsigned(2147483648u); }, missing, server, user, password},
        {"VT_R8 out of range", missing, [] { return Real(3e9); }, [] { return Real(-3e9); }, server, user, password},
        {"VT_R8 with a fraction", missing, [] { return Real(2.5); }, [] { return Real(-7.75); }, server, L"2", L"-8"},
        {"VT_I1 and VT_UI2 in range", missing, typed(VT_I1, [](VARIANT* v) { V_I1(v) = -5; }),
         typed(VT_UI2, [](VARIANT* v) { V_UI2(v) = 32767; }), server, L"-5", L"32767"},
        {"VT_UI2 above 32767", missing, missing, typed(VT_UI2, [](VARIANT* v) { V_UI2(v) = 65535; }), server, user,
         password},
        {"VT_UINT above 2147483647", typed(VT_UINT, [](VARIANT* v) { V_UINT(v) = 4000000000u; }), missing, missing,
         server, user, password},
        {"VT_BYREF|VT_BSTR", missing, typed(VT_BYREF | VT_BSTR, [&](VARIANT* v) { V_BSTRREF(v) = &referencedText; }),
         missing, server, L"по ссылке", password},
        {"VT_BYREF|VT_VARIANT", missing,
         typed(VT_BYREF | VT_VARIANT, [&](VARIANT* v) { V_VARIANTREF(v) = &referencedVariant; }), missing, server, L"7",
         password},
        {"VT_NULL", typed(VT_NULL, [](VARIANT*) {}), typed(VT_NULL, [](VARIANT*) {}), missing, server, user, password},
        {"other error code", missing, typed(VT_ERROR, [](VARIANT* v) { V_ERROR(v) = E_FAIL; }), missing, server, user,
         password},
        {"array", missing,
         typed(VT_ARRAY | VT_I4, [](VARIANT* v) { V_ARRAY(v) = SafeArrayCreateVector(VT_I4, 0, 3); }), missing, server,
         user, password},
        {"object without a value", missing, typed(VT_DISPATCH, [](VARIANT* v) { V_DISPATCH(v) = nullptr; }),
         typed(VT_UNKNOWN, [](VARIANT* v) { V_UNKNOWN(v) = nullptr; }), server, user, password},
        {"object whose value cannot be read", missing,
         typed(VT_DISPATCH,
               [](VARIANT* v) {
                   ComPtr<IQuarn5Logon> other = NewLogon();
                   V_DISPATCH(v) = other.Take();
               }),
         missing, server, user, password},
        {"VT_BYREF|VT_VARIANT holding VT_BYREF|VT_BSTR", missing,
         typed(VT_BYREF | VT_VARIANT, [&](VARIANT* v) { V_VARIANTREF(v) = &nestedReference; }), missing, server,
         L"по ссылке", password},
        {"reference to nothing", typed(VT_BYREF | VT_BSTR, [](VARIANT* v) { V_BSTRREF(v) = nullptr; }),
         typed(VT_BYREF | VT_VARIANT, [](VARIANT* v) { V_VARIANTREF(v) = nullptr; }), missing, server, user, password},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        Remember(L"User", user);
        Remember(L"Password", password);
        Remember(L"Server", server);
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        const UniqueVariant s = row.server(), u = row.user(), p = row.password();
        bool shown = false;
        const InitializeResult result = InitializeSilently(logon.Get(), L"client", *s.Get(), *u.Get(), *p.Get(), &shown);
        CHECK_FALSE(shown);
        CHECK(result.hr == S_OK);
        CHECK(result.out == 1);
        CHECK(Get(logon.Get(), Property::Server) == row.expectServer);
        CHECK(Get(logon.Get(), Property::User) == row.expectUser);
        CHECK(Get(logon.Get(), Property::Password) == row.expectPassword);
        CHECK(Remembered(L"User") == row.expectUser);
        CHECK(Remembered(L"Password") == row.expectPassword);
        CHECK(Remembered(L"Server") == row.expectServer);
    }
    SysFreeString(referencedText);
}

TEST_CASE_FIXTURE(ObjectFixture, "the flag word is remembered unless bit 8 is set") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    CHECK(logon->put_Level(6) == S_OK);
    DWORD type = 0;
    std::vector<uint8_t> data;
    REQUIRE(ReadRegValue(HKEY_CURRENT_USER, kLogonKey, L"Level", &type, &data));
    CHECK(type == REG_DWORD);
    REQUIRE(data.size() == 4);
    CHECK(*reinterpret_cast<const DWORD*>(data.data()) == 6);

    CHECK(logon->put_Level(14) == S_OK);
    LONG level = 0;
    CHECK(logon->get_Level(&level) == S_OK);
    CHECK(level == 14);

    ComPtr<IQuarn5Logon> fresh = NewLogon();
    REQUIRE(fresh);
    CHECK(fresh->get_Level(&level) == S_OK);
    CHECK(level == 6);
    CHECK(fresh->get_Level(nullptr) == E_POINTER);
}

TEST_CASE_FIXTURE(ObjectFixture, "before a logon the string properties fail and clear their out value") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    using Getter = HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*)(BSTR*);
    const Getter getters[] = {&IQuarn5Logon::get_Client, &IQuarn5Logon::get_User, &IQuarn5Logon::get_Password,
                              &IQuarn5Logon::get_Server};
    for (Getter getter : getters) {
        BSTR value = SysAllocString(L"sentinel");
        BSTR kept = value;
        CHECK((logon.Get()->*getter)(&value) == kNotLoggedOn);
        CHECK(value == nullptr);
        SysFreeString(kept);
        CHECK((logon.Get()->*getter)(nullptr) == E_POINTER);
    }

    // A null out-pointer for Initialize is refused before anything happens.
    UniqueBstr client(SysAllocString(L"client"));
    const UniqueVariant missing = Missing();
    CHECK(logon->Initialize(client.Get(), *missing.Get(), *missing.Get(), *missing.Get(), nullptr) == E_POINTER);
    CHECK_FALSE(LogonKeyExists());
    CHECK(Recorded().lockBalance == 0);

    // After a logon the same getters answer; empty texts come back as empty, non-null BSTRs.
    Remember(L"Password", L"");
    REQUIRE(Initialize(logon.Get(), nullptr).hr == S_OK);
    for (Getter getter : getters) {
        BSTR value = nullptr;
        CHECK((logon.Get()->*getter)(&value) == S_OK);
        CHECK(value != nullptr);
        SysFreeString(value);
    }
    CHECK(Get(logon.Get(), Property::Client).empty());
}

namespace {
int g_addressLists = 0;
// The computer's adapters, modelled: 192.0.2.7 and 2001:db8::7, which no test machine has.
ULONG WINAPI ModelAdapters(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES out, PULONG size) {
    ++g_addressLists;
    struct Model {
        IP_ADAPTER_ADDRESSES adapter{};
        IP_ADAPTER_UNICAST_ADDRESS unicast[2]{};
        SOCKADDR_IN v4{AF_INET, 0, {{{192, 0, 2, 7}}}};
        SOCKADDR_IN6 v6{AF_INET6, 0, 0, {{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}}}};
    };
    if (*size < sizeof(Model)) return *size = sizeof(Model), ERROR_BUFFER_OVERFLOW;
    Model* m = new (out) Model();
    m->adapter.FirstUnicastAddress = &m->unicast[0];
    m->unicast[0] = {{}, &m->unicast[1], {reinterpret_cast<SOCKADDR*>(&m->v4), sizeof m->v4}};
    m->unicast[1] = {{}, nullptr, {reinterpret_cast<SOCKADDR*>(&m->v6), sizeof m->v6}};
    return ERROR_SUCCESS;
}
FARPROC WINAPI ModelGetProcAddress(HMODULE module, LPCSTR name) {
    const bool adapters = !IS_INTRESOURCE(name) && strcmp(name, "GetAdaptersAddresses") == 0;
    return adapters ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ModelAdapters)) : GetProcAddress(module, name);
}
}  // namespace

TEST_CASE_FIXTURE(ActivationFixture, "this computer activates without server information, another one with its name") {
    REQUIRE(patch.Patched());
    ImportPatch adapters(QuarnverLibrary(), "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&ModelGetProcAddress));
    REQUIRE(adapters.Patched());
    const std::wstring computer = AnsiToWide(ComputerNameA());
    wchar_t dns[256] = {};
    DWORD dnsSize = ARRAYSIZE(dns);
    REQUIRE(GetComputerNameExW(ComputerNameDnsFullyQualified, dns, &dnsSize));
    struct Row {
        std::wstring server;
        bool expectInfo;
        bool asksAddresses = false;  // the computer's address list is needed to decide
    };
    // An absolute DNS name ends in a dot (RFC 1034, 3.1).
    const Row rows[] = {{computer, false}, {Lower(computer), false}, {L"\\\\" + computer, false}, {L"", false},
                        {L"LocalHost", false}, {L".", false}, {L"127.20.30.40", false}, {L"[::1]", false},
                        {L"::ffff:127.0.0.1", false}, {L"FARHOST", true}, {L"\\\\FARHOST", true}, {L"128.0.0.1", true, true},
                        {L"::2", true, true}, {L"localhost.example", true},
                        {computer + L".", false}, {std::wstring(dns) + L".", false}, {L"localhost.", false},
                        {L"FARHOST.", true}, {computer + L"..", true}, {L"192.0.2.7", false, true},
                        {L"[2001:DB8::7]:135", false, true}, {L"::ffff:192.0.2.7", false, true},
                        {L"192.0.2.8", true, true}, {L"2001:db8::8", true, true}};
    for (const Row& row : rows) {
        CAPTURE(std::string(row.server.begin(), row.server.end()));
        g_activations.clear();
        g_addressLists = 0;
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        const UniqueVariant server = Text(row.server), missing = Missing();
        const InitializeResult result = Initialize(logon.Get(), L"client", *server.Get(), *missing.Get(), *missing.Get());
        CHECK(result.hr == S_OK);
        CHECK(result.out == 1);
        REQUIRE(g_activations.size() == 1);
        const ActivationCall& call = g_activations.front();
        CHECK(IsEqualCLSID(call.clsid, CLSID_QuarnSvrDirections));
        CHECK(call.context == (row.expectInfo ? CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER : CLSCTX_LOCAL_SERVER));
        CHECK(IsEqualIID(call.iid, IID_IClassFactory));
        CHECK(call.hasServerInfo == row.expectInfo);
        if (row.expectInfo) {
            CHECK(call.name == row.server);
            CHECK(call.reserved1 == 0);
            CHECK(call.reserved2 == 0);
            CHECK_FALSE(call.hasAuthInfo);
        }
        CHECK(Remembered(L"Server") == row.server);
        CHECK((g_addressLists > 0) == row.asksAddresses);
    }
}

TEST_CASE_FIXTURE(ActivationFixture, "names in any script reach the properties, the registry, COM and a new object unchanged") {
    REQUIRE(patch.Patched());
    for (const ScriptNames& names : kScriptNames) {
        CAPTURE(WideToUtf8(names.user));
        const std::wstring client = std::wstring(names.user) + L" ✓";
        {
            g_activations.clear();
            Recorded().Reset();
            ComPtr<IQuarn5Logon> logon = NewLogon();
            REQUIRE(logon);
            const UniqueVariant server = Text(names.server), user = Text(names.user), password = Text(names.password);
            const InitializeResult result = Initialize(logon.Get(), client.c_str(), *server.Get(), *user.Get(), *password.Get());
            CHECK(result.hr == S_OK);
            CHECK(result.out == 1);
            CHECK(Get(logon.Get(), Property::Client) == client);
            CHECK(Get(logon.Get(), Property::User) == names.user);
            CHECK(Get(logon.Get(), Property::Password) == names.password);
            CHECK(Get(logon.Get(), Property::Server) == names.server);
            CHECK(Remembered(L"User") == names.user);
            CHECK(Remembered(L"Password") == names.password);
            CHECK(Remembered(L"Server") == names.server);
            REQUIRE(g_activations.size() == 1);
            CHECK(g_activations.front().hasServerInfo);
            CHECK(g_activations.front().name == names.server);

            ComPtr<IUnknown> object;
            CHECK(logon->GetQuarnSvrDirections(object.Receive()) == S_OK);
            REQUIRE(Recorded().connects.size() == 1);
            CHECK(Recorded().connects[0].client == client);
            CHECK(Recorded().connects[0].user == names.user);
        }
        // A new object starts from what the last one remembered.
        ComPtr<IQuarn5Logon> fresh = NewLogon();
        REQUIRE(fresh);
        REQUIRE(Initialize(fresh.Get(), L"next").hr == S_OK);
        CHECK(Get(fresh.Get(), Property::User) == names.user);
        CHECK(Get(fresh.Get(), Property::Password) == names.password);
        CHECK(Get(fresh.Get(), Property::Server) == names.server);
    }
}

namespace {
// This computer under a Cyrillic name, as GetComputerName would report it.
const wchar_t kCyrillicComputer[] = L"СЕРВЕР-1";

BOOL WINAPI CyrillicComputerNameW(LPWSTR name, LPDWORD size) {
    const DWORD length = static_cast<DWORD>(lstrlenW(kCyrillicComputer));
    if (*size <= length) return FALSE;
    lstrcpyW(name, kCyrillicComputer);
    *size = length;
    return TRUE;
}
}  // namespace

TEST_CASE_FIXTURE(ActivationFixture, "a Cyrillic computer name in other letter case is this computer") {
    REQUIRE(patch.Patched());
    ImportPatch wide(QuarnverLibrary(), "kernel32.dll", "GetComputerNameW", reinterpret_cast<void*>(&CyrillicComputerNameW));
    REQUIRE(wide.Patched());
    const struct {
        const wchar_t* server;
        bool expectInfo;
    } rows[] = {{L"сервер-1", false}, {L"Сервер-1", false}, {L"СЕРВЕР-1", false}, {L"сервер-2", true}};
    for (const auto& row : rows) {
        CAPTURE(WideToUtf8(row.server));
        g_activations.clear();
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        const UniqueVariant server = Text(row.server), missing = Missing();
        CHECK(Initialize(logon.Get(), L"client", *server.Get(), *missing.Get(), *missing.Get()).hr == S_OK);
        REQUIRE(g_activations.size() == 1);
        CHECK(g_activations.front().hasServerInfo == row.expectInfo);
    }
}

TEST_CASE_FIXTURE(ActivationFixture, "a failed activation is reported, remembers the values and allows another try") {
    REQUIRE(patch.Patched());
    const HRESULT unreachable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    g_remoteResult = unreachable;
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    const UniqueVariant server = Text(L"FARHOST"), user = Text(L"Анна"), password = Text(L"тайна");
    InitializeResult result = Initialize(logon.Get(), L"client", *server.Get(), *user.Get(), *password.Get());
    CHECK(result.hr == unreachable);
    CHECK(result.out == 1);
    CHECK(Remembered(L"Server") == L"FARHOST");
    CHECK(Remembered(L"User") == L"Анна");
    CHECK(Remembered(L"Password") == L"тайна");
    HRESULT hr = S_OK;
    Get(logon.Get(), Property::Server, &hr);
    CHECK(hr == kNotLoggedOn);
    CHECK(Recorded().lockBalance == 0);

    // Not logged on, so the next call tries again; the held values stay.
    g_remoteResult = S_OK;
    result = Initialize(logon.Get(), L"again");
    CHECK(result.hr == S_OK);
    CHECK(result.out == 1);
    CHECK(g_activations.size() == 2);
    CHECK(Get(logon.Get(), Property::Server) == L"FARHOST");
    CHECK(Get(logon.Get(), Property::User) == L"Анна");
    CHECK(Get(logon.Get(), Property::Client) == L"again");
    CHECK(Recorded().lockBalance == 1);
}

namespace {
// Stands in for DialogBoxParamW when no dialog can be made (no desktop, no
// template): the platform answers -1 with an error code.
INT_PTR WINAPI FailingDialogBoxParam(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return -1;
}

// Windows' answers where no user can see a window: the station of a service, or of a task run whether the user is
// logged on or not, lacks WSF_VISIBLE ("USEROBJECTFLAGS structure"), and session 0 has held services only since
// Vista ("Interactive Services"). Wine answers visible, session 1.
BOOL WINAPI InvisibleStation(HANDLE, int, PVOID info, DWORD, LPDWORD) {
    static_cast<USEROBJECTFLAGS*>(info)->dwFlags = 0;
    return TRUE;
}
BOOL WINAPI SessionZero(DWORD, DWORD* session) {
    *session = 0;
    return TRUE;
}
}  // namespace

TEST_CASE_FIXTURE(ObjectFixture, "a dialog that cannot be made is a failure, not a cancel") {
    ImportPatch patch(QuarnverLibrary(), "user32.dll", "DialogBoxParamW",
                      reinterpret_cast<void*>(&FailingDialogBoxParam));
    REQUIRE(patch.Patched());
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(1 | 2 | 4 | 8) == S_OK);  // every row open, nothing remembered
    const InitializeResult result = Initialize(logon.Get(), L"client");
    CHECK(result.hr == HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
    CHECK(result.out == 0);
    CHECK_FALSE(LogonKeyExists());
    CHECK(Recorded().lockBalance == 0);
    HRESULT hr = S_OK;
    Get(logon.Get(), Property::Client, &hr);
    CHECK(hr == kNotLoggedOn);
}

TEST_CASE_FIXTURE(ObjectFixture, "where no window can be seen a logon with a row open and DlgAbout fail, a silent logon works") {
    const HRESULT notInteractive = HRESULT_FROM_WIN32(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    const struct {
        const char *dll, *function;
        void* replacement;
    } rows[] = {{"user32.dll", "GetUserObjectInformationW", reinterpret_cast<void*>(&InvisibleStation)},
                {"kernel32.dll", "ProcessIdToSessionId", reinterpret_cast<void*>(&SessionZero)}};
    // Nor can a dialog be made: a silent logon makes none, so the host's window is never disabled either.
    ImportPatch noDialog(QuarnverLibrary(), "user32.dll", "DialogBoxParamW", reinterpret_cast<void*>(&FailingDialogBoxParam));
    REQUIRE(noDialog.Patched());
    for (const auto& row : rows) {
        CAPTURE(std::string(row.function));
        ImportPatch patch(QuarnverLibrary(), row.dll, row.function, row.replacement);
        REQUIRE(patch.Patched());
        DeleteTree(HKEY_CURRENT_USER, kLogonKey);
        RememberLevel(1);
        ComPtr<IQuarn5Logon> logon = NewLogon();
        bool shown = false;
        const UniqueVariant missing = Missing();
        const InitializeResult result =
            InitializeSilently(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), &shown);
        CHECK(result.hr == notInteractive);
        CHECK(result.out == 0);
        CHECK_FALSE(shown);
        CHECK(Remembered(L"User") == L"<missing>");
        CHECK(logon->put_Level(0) == S_OK);
        CHECK(InitializeSilently(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), &shown).hr == S_OK);
        const ComPtr<IQuarn5About> box = NewAbout();
        REQUIRE(box);
        HRESULT about = E_NOTIMPL;
        RunModal([&] { about = box->DlgAbout(*missing.Get(), *missing.Get()); },
                 [&] { if (const HWND shownBox = WaitForWindow(L"О программе", 1000)) PostMessageW(shownBox, WM_CLOSE, 0, 0); });
        CHECK(about == notInteractive);
    }
}

TEST_CASE_FIXTURE(ObjectFixture, "the library stays locked until a released logon object is gone") {
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
    const auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(QuarnverLibrary(), "DllCanUnloadNow")));
    REQUIRE(reinterpret_cast<void*>(canUnloadNow) != nullptr);
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(Initialize(logon.Get(), L"client").hr == S_OK);
    REQUIRE(canUnloadNow() == S_FALSE);

    // The destructor gives the server lock back; the library must not look
    // unloadable while that call runs.
    HRESULT whileDestroying = E_NOTIMPL;
    Recorded().onLockServer = [&](BOOL lock) {
        if (!lock) whileDestroying = canUnloadNow();
    };
    logon = nullptr;
    Recorded().onLockServer = nullptr;
    CHECK(whileDestroying == S_FALSE);
    CHECK(canUnloadNow() == S_OK);
}

namespace {
// A host's timer handler that calls Initialize on the object whose dialog is open.
struct NestedCall {
    IQuarn5Logon* logon = nullptr;
    std::atomic<bool> returned{false};
    HRESULT hr = E_NOTIMPL;
    LONG out = 0x5A;
} g_nested;

VOID CALLBACK InitializeFromTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    UniqueBstr client(SysAllocString(L"nested"));
    const UniqueVariant missing = Missing();
    g_nested.hr = g_nested.logon->Initialize(client.Get(), *missing.Get(), *missing.Get(), *missing.Get(),
                                             &g_nested.out);
    g_nested.returned = true;
}

// Another logon dialog of this process than `first`.
HWND OtherLogonDialog(HWND first) {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", kLogonCaption); w;
         w = FindWindowExW(nullptr, w, L"#32770", kLogonCaption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (w != first && process == GetCurrentProcessId()) return w;
    }
    return nullptr;
}
}  // namespace

TEST_CASE_FIXTURE(ObjectFixture, "Initialize called again while its dialog is open fails and shows nothing") {
    RememberLevel(1);
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    g_nested.logon = logon.Get();
    g_nested.returned = false;
    g_nested.hr = E_NOTIMPL;
    g_nested.out = 0x5A;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, InitializeFromTimer);
    REQUIRE(timer != 0);

    bool secondDialog = false;
    const UniqueVariant missing = Missing();
    const InitializeResult result =
        InitializeWithDialog(logon.Get(), L"outer", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            for (DWORD start = GetTickCount(); !g_nested.returned && GetTickCount() - start < 10000; Sleep(10)) {
                if (const HWND other = OtherLogonDialog(dialog)) {
                    secondDialog = true;
                    Click(other, IDOK);
                    WaitForWindowGone(other);
                }
            }
            Click(dialog, IDOK);
        });
    KillTimer(nullptr, timer);
    CHECK(g_nested.returned);
    CHECK(g_nested.hr == E_FAIL);
    CHECK(g_nested.out == 0x5A);
    CHECK_FALSE(secondDialog);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 1);
    CHECK(Get(logon.Get(), Property::Client) == L"outer");
    CHECK(Recorded().lockBalance == 1);
    logon = nullptr;
    CHECK(Recorded().lockBalance == 0);
    CHECK(Recorded().factoryReferences == 0);
}

TEST_CASE_FIXTURE(ObjectFixture, "memory running out during Initialize is reported, nothing is kept") {
    AllocationFailure failure(QuarnverLibrary());
    REQUIRE(failure.Patched());
    struct Row {
        const char* when;
        bool beforeTheDialog;  // otherwise when OK is pressed
        LONG expectOut;        // -1: left as it was
    } rows[] = {{"before the dialog", true, -1}, {"in the dialog's OK", false, 0}};
    // Long enough that its narrow copy needs the heap.
    const wchar_t* const kLongClient = L"клиентское приложение с длинным именем";
    const DWORD modalThread = GetCurrentThreadId();
    for (const Row& row : rows) {
        CAPTURE(std::string(row.when));
        RememberLevel(7);
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        LONG level = 0;  // a first call makes the library's per-thread state
        REQUIRE(logon->get_Level(&level) == S_OK);
        const UniqueVariant user = Text(L"Пётр"), missing = Missing();
        bool shown = false;
        InitializeResult result{E_NOTIMPL, -1};
        if (row.beforeTheDialog) {
            failure.FailNextOn(modalThread);
            result = InitializeSilently(logon.Get(), kLongClient, *missing.Get(), *user.Get(), *missing.Get(), &shown);
        } else {
            result = InitializeWithDialog(logon.Get(), kLongClient, *missing.Get(), *user.Get(), *missing.Get(),
                                          [&](HWND dialog) {
                                              shown = dialog != nullptr;
                                              if (!dialog) return;
                                              failure.FailNextOn(modalThread);
                                              Click(dialog, IDOK);
                                          });
        }
        CHECK(failure.Happened());
        CHECK(shown != row.beforeTheDialog);
        CHECK(result.hr == E_OUTOFMEMORY);
        CHECK(result.out == row.expectOut);
        CHECK(Remembered(L"User") == L"<missing>");
        CHECK(Recorded().lockBalance == 0);
        HRESULT hr = S_OK;
        Get(logon.Get(), Property::Client, &hr);
        CHECK(hr == kNotLoggedOn);
    }
}

namespace {
// A policy of the Group Policy template: the key, value name and values an
// administrator's template writes. The table below sets exactly these, so a
// template that names other values than the library reads makes it fail.
struct TemplatePolicy {
    std::wstring key, valueName;
    DWORD enabled = 0xDEADBEEF, disabled = 0xDEADBEEF;  // or the boolean element's true and false
    std::map<std::string, std::wstring> valueNames;     // of the text and boolean elements, by id
};

std::string TemplateFile(const char* relative) {
    const std::vector<uint8_t> bytes = ReadFileBytes(std::string(QUARN_POLICY_DIR) + "/" + relative);
    return std::string(bytes.begin(), bytes.end());
}

std::string Attribute(const std::string& element, const std::string& name) {
    const std::string marker = " " + name + "=\"";
    size_t at = element.find(marker);
    if (at == std::string::npos) return std::string();
    at += marker.size();
    return element.substr(at, element.find('"', at) - at);
}

std::map<std::string, TemplatePolicy> TemplatePolicies() {
    const std::string admx = TemplateFile("quarnver.admx");
    std::map<std::string, TemplatePolicy> policies;
    for (size_t at = admx.find("<policy "); at != std::string::npos; at = admx.find("<policy ", at + 1)) {
        const std::string element = admx.substr(at, admx.find("</policy>", at) - at);
        const std::string tag = element.substr(0, element.find('>'));
        TemplatePolicy& policy = policies[Attribute(tag, "name")];
        policy.key = Utf8ToWide(Attribute(tag, "key").c_str());
        policy.valueName = Utf8ToWide(Attribute(tag, "valueName").c_str());
        const std::string enabled = element.substr(element.find(policy.valueName.empty() ? "<trueValue>" : "<enabledValue>") + 1);
        const std::string disabled = element.substr(element.find(policy.valueName.empty() ? "<falseValue>" : "<disabledValue>") + 1);
        policy.enabled = strtoul(Attribute(enabled, "value").c_str(), nullptr, 10);
        policy.disabled = strtoul(Attribute(disabled, "value").c_str(), nullptr, 10);
        for (const char* kind : {"<text ", "<boolean "})
            for (size_t e = element.find(kind); e != std::string::npos; e = element.find(kind, e + 1)) {
                const std::string item = element.substr(e, element.find('>', e) - e);
                policy.valueNames[Attribute(item, "id")] = Utf8ToWide(Attribute(item, "valueName").c_str());
            }
    }
    return policies;
}

// The library's credential as Credential Manager holds it.
struct StoredCredential {
    bool present = false;
    std::wstring user;
    std::vector<uint8_t> blob;
};
const wchar_t kCredentialTarget[] = L"Velmora/QUARN 5/Logon";
StoredCredential ReadCredential() {
    StoredCredential stored;
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(kCredentialTarget, CRED_TYPE_GENERIC, 0, &credential)) return stored;
    stored.present = true;
    stored.user = credential->UserName ? credential->UserName : L"";
    stored.blob.assign(credential->CredentialBlob, credential->CredentialBlob + credential->CredentialBlobSize);
    CredFree(credential);
    return stored;
}
void WriteCredential(const void* blob, DWORD size, const std::wstring& user) {
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = const_cast<LPWSTR>(kCredentialTarget);
    credential.CredentialBlob = static_cast<LPBYTE>(const_cast<void*>(blob));
    credential.CredentialBlobSize = size;
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = const_cast<LPWSTR>(user.c_str());
    REQUIRE(CredWriteW(&credential, 0));
}
std::vector<uint8_t> Utf16Bytes(const std::wstring& text) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return std::vector<uint8_t>(bytes, bytes + text.size() * sizeof(wchar_t));
}

// The policy keys of both roots, the virtual store's and the credential, owned by the test.
const std::wstring kVirtualStore = L"Software\\Classes\\VirtualStore\\MACHINE\\";
struct PolicyFixture : ActivationFixture {
    KeyBackup machinePolicies{HKEY_LOCAL_MACHINE, L"Software\\Policies\\Velmora"};
    KeyBackup userPolicies{HKEY_CURRENT_USER, L"Software\\Policies\\Velmora"};
    KeyBackup virtualPolicies{HKEY_CURRENT_USER, kVirtualStore + L"Software\\Policies\\Velmora"};
    PolicyFixture() { CredDeleteW(kCredentialTarget, CRED_TYPE_GENERIC, 0); }
    ~PolicyFixture() { CredDeleteW(kCredentialTarget, CRED_TYPE_GENERIC, 0); }
};

// How the host reads the machine's policies: as it is; virtualized, from a
// thread that does not impersonate or from one that does; or with the
// machine's key refused. The model of "Registry Virtualization": the token
// reports virtualization and, while the calling thread does not impersonate,
// a key below HKEY_LOCAL_MACHINE\Software\Policies is answered from the
// virtual store merged value by value over the machine's, virtual values first.
enum class Host { Plain, Virtualized, Impersonating, Refused };
Host g_host = Host::Plain;
std::map<HKEY, HKEY> g_virtualOver;  // a machine's key opened virtualized, and the virtual store's key
BOOL WINAPI VirtualizedToken(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* data, DWORD size, DWORD* used) {
    if (kind != TokenVirtualizationEnabled) return GetTokenInformation(token, kind, data, size, used);
    *static_cast<DWORD*>(data) = 1;
    return TRUE;
}
LSTATUS WINAPI VirtualizedOpen(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
    if (parent != HKEY_LOCAL_MACHINE || _wcsnicmp(name, L"Software\\Policies\\", 18) != 0)
        return RegOpenKeyExW(parent, name, options, access, key);
    if (g_host == Host::Refused) return ERROR_ACCESS_DENIED;
    UniqueKernelHandle token;
    HKEY over = nullptr;
    const LSTATUS result = RegOpenKeyExW(parent, name, options, access, key);
    if (result == ERROR_SUCCESS && !OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()) &&
        RegOpenKeyExW(HKEY_CURRENT_USER, (kVirtualStore + name).c_str(), 0, KEY_QUERY_VALUE, &over) == ERROR_SUCCESS)
        g_virtualOver[*key] = over;
    return result;
}
LSTATUS WINAPI VirtualizedQuery(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size) {
    const auto over = g_virtualOver.find(key);
    const LSTATUS result =
        over == g_virtualOver.end() ? ERROR_FILE_NOT_FOUND : RegQueryValueExW(over->second, name, reserved, type, data, size);
    return result != ERROR_FILE_NOT_FOUND ? result : RegQueryValueExW(key, name, reserved, type, data, size);
}
LSTATUS WINAPI VirtualizedClose(HKEY key) {
    if (g_virtualOver.count(key)) RegCloseKey(g_virtualOver[key]);
    g_virtualOver.erase(key);
    return RegCloseKey(key);
}
struct HostScope {
    const HMODULE module;
    ImportPatch patches[4] = {{module, "advapi32.dll", "GetTokenInformation", reinterpret_cast<void*>(&VirtualizedToken)},
                              {module, "advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&VirtualizedOpen)},
                              {module, "advapi32.dll", "RegQueryValueExW", reinterpret_cast<void*>(&VirtualizedQuery)},
                              {module, "advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(&VirtualizedClose)}};
    explicit HostScope(Host host) : module(host == Host::Plain ? nullptr : QuarnverLibrary()) {
        g_host = host;
        for (const ImportPatch& patch : patches) REQUIRE(patch.Patched() == (module != nullptr));
        if (host == Host::Impersonating) REQUIRE(ImpersonateSelf(SecurityImpersonation));
    }
    ~HostScope() {
        if (g_host != Host::Impersonating) return;
        UniqueKernelHandle token;  // the host's impersonation outlives the library's reads
        CHECK(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()));
        RevertToSelf();
    }
};
void SetVirtual(const std::wstring& key, const wchar_t* name, DWORD value) {
    SetRegValue(HKEY_CURRENT_USER, kVirtualStore + key, name, REG_DWORD, &value, sizeof value);
}

// Credential Manager in a network logon, or a service without a loaded
// profile: CredWriteW and CredReadW fail with ERROR_NO_SUCH_LOGON_SESSION
// (the CredWriteW and CredReadW pages).
BOOL WINAPI RefusingCredWrite(PCREDENTIALW, DWORD) {
    SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
    return FALSE;
}
BOOL WINAPI RefusingCredRead(LPCWSTR, DWORD, DWORD, PCREDENTIALW*) {
    SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
    return FALSE;
}
}  // namespace

TEST_CASE_FIXTURE(PolicyFixture, "the password policies decide where the password is remembered") {
    const std::map<std::string, TemplatePolicy> policies = TemplatePolicies();
    REQUIRE(policies.size() == 3);
    REQUIRE(policies.count("DisablePasswordSaving"));
    REQUIRE(policies.count("UseCredentialManager"));
    // Every text and presentation the template names is in both languages' resources.
    const std::string admx = TemplateFile("quarnver.admx");
    for (const char* adml : {"en-US/quarnver.adml", "ru-RU/quarnver.adml"}) {
        const std::string strings = TemplateFile(adml);
        for (const std::string kind : {"$(string.", "$(presentation."})
            for (size_t at = admx.find(kind); at != std::string::npos; at = admx.find(kind, at + 1)) {
                const std::string id = admx.substr(at + kind.size(), admx.find(')', at) - at - kind.size());
                CHECK_MESSAGE(strings.find("id=\"" + id + "\"") != std::string::npos, adml, " lacks ", id);
            }
    }
    const TemplatePolicy& noSaving = policies.at("DisablePasswordSaving");
    const TemplatePolicy& vault = policies.at("UseCredentialManager");
    REQUIRE(noSaving.enabled == 1);
    REQUIRE(noSaving.disabled == 0);

    enum class Where { None, Machine, User, Both, MachineOffUserOn, MachineNotDword };
    enum class Store { Registry, Vault, Nowhere, Unknown };
    // Lifted: a password moved into the credential, then the policy lifted
    // and another one remembered in the registry meanwhile. OtherUser: a
    // credential of another user name; NotText: a good credential and a
    // "Password" value that is not REG_SZ.
    enum class Before { Nothing, Plain, Credential, Damaged, Oversized, Lifted, OtherUser, NotText };
    // What the platform refuses the library: Credential Manager's writes or
    // reads, write access to the Logon key; or a user name longer than
    // Credential Manager takes (CRED_MAX_USERNAME_LENGTH, the CREDENTIAL
    // structure's page).
    enum class Fault { None, CredWrite, CredRead, ReadOnlyKey, LongUser };
    const struct {
        const char* name;
        Where noSaving, vault;
        Store store;
        Fault fault = Fault::None;
        LONG level = 0;
        Host host = Host::Plain;  // the virtual store holds 0 for both policies
    } rows[] = {
        {"no policy", Where::None, Where::None, Store::Registry},
        {"Credential Manager by the machine", Where::None, Where::Machine, Store::Vault},
        {"Credential Manager by the user", Where::None, Where::User, Store::Vault},
        {"Credential Manager by both", Where::None, Where::Both, Store::Vault},
        {"Credential Manager: machine 0 over user 1", Where::None, Where::MachineOffUserOn, Store::Registry},
        {"Credential Manager: machine's REG_SZ, user 1", Where::None, Where::MachineNotDword, Store::Vault},
        {"no saving by the machine", Where::Machine, Where::None, Store::Nowhere},
        {"no saving by the user", Where::User, Where::None, Store::Nowhere},
        {"no saving by both", Where::Both, Where::None, Store::Nowhere},
        {"no saving: machine 0 over user 1", Where::MachineOffUserOn, Where::None, Store::Registry},
        {"both policies", Where::Machine, Where::User, Store::Nowhere},
        {"no saving, Level 8", Where::User, Where::None, Store::Nowhere, Fault::None, 8},
        {"Credential Manager refusing writes", Where::None, Where::User, Store::Vault, Fault::CredWrite},
        {"Credential Manager refusing reads", Where::None, Where::User, Store::Vault, Fault::CredRead},
        {"Credential Manager, read-only Logon key", Where::None, Where::User, Store::Vault, Fault::ReadOnlyKey},
        {"Credential Manager, user of 600 characters", Where::None, Where::User, Store::Vault, Fault::LongUser},
        {"virtualized: no saving by the machine", Where::Machine, Where::None, Store::Nowhere, Fault::None, 0, Host::Virtualized},
        {"impersonating: no saving by the machine", Where::Machine, Where::None, Store::Nowhere, Fault::None, 0, Host::Impersonating},
        {"machine's key refused: Credential Manager by the user", Where::None, Where::User, Store::Unknown, Fault::None, 0, Host::Refused},
    };
    auto set = [](const TemplatePolicy& policy, Where where) {
        auto put = [&](HKEY root, DWORD value) {
            SetRegValue(root, policy.key, policy.valueName.c_str(), REG_DWORD, &value, sizeof value);
        };
        if (where == Where::Machine || where == Where::Both) put(HKEY_LOCAL_MACHINE, policy.enabled);
        if (where == Where::User || where == Where::Both || where == Where::MachineOffUserOn ||
            where == Where::MachineNotDword)
            put(HKEY_CURRENT_USER, policy.enabled);
        if (where == Where::MachineOffUserOn) put(HKEY_LOCAL_MACHINE, policy.disabled);
        if (where == Where::MachineNotDword) SetRegString(HKEY_LOCAL_MACHINE, policy.key, policy.valueName.c_str(), L"0");
    };
    auto clearPolicies = [] {
        DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Velmora");
        DeleteTree(HKEY_CURRENT_USER, L"Software\\Policies\\Velmora");
        DeleteTree(HKEY_CURRENT_USER, kVirtualStore + L"Software\\Policies\\Velmora");
    };
    const std::wstring plain = L"старый пароль", kept = L"пароль ✓ хранилища", typed = L"набранный",
                       between = L"пароль без политики", owner = AnsiToWide(UserNameA());
    // The same name in other letter case is another user of the translation server.
    std::wstring other = owner;
    for (wchar_t& c : other) c = iswupper(c) ? towlower(c) : towupper(c);
    REQUIRE(other != owner);
    // The library reads the bytes of a value that is not text as ANSI, this test as UTF-16.
    const uint8_t damaged[3] = {'a', 0, 'b'}, notText[4] = {'1', '2', '3', '4'};
    const std::wstring notTextRead = L"1234", notTextStored = L"\x3231\x3433";
    enum Supply { Nobody, Argument, Dialog };  // who supplies the typed password
    for (const auto& row : rows) {
        for (Before before : {Before::Nothing, Before::Plain, Before::Credential, Before::Damaged, Before::Oversized,
                              Before::Lifted, Before::OtherUser, Before::NotText}) {
            for (Supply supply : {Nobody, Argument, Dialog}) {
                if (supply == Dialog && (before != Before::Plain || row.fault == Fault::None)) continue;
                const bool typing = supply != Nobody;
                INFO(std::string(row.name), ", before ", static_cast<int>(before), ", typed ", static_cast<int>(supply));
                clearPolicies();
                CredDeleteW(kCredentialTarget, CRED_TYPE_GENERIC, 0);
                DeleteTree(HKEY_CURRENT_USER, kLogonKey);
                if (before == Before::Plain || before == Before::Lifted) Remember(L"Password", plain);
                if (before == Before::Lifted) {
                    set(vault, Where::User);
                    REQUIRE(NewLogon());
                    clearPolicies();
                    Remember(L"Password", between);
                }
                set(noSaving, row.noSaving);
                set(vault, row.vault);
                if (before == Before::Credential || before == Before::OtherUser || before == Before::NotText)
                    WriteCredential(kept.data(), static_cast<DWORD>(kept.size() * 2), before == Before::OtherUser ? other : owner);
                if (before == Before::NotText)
                    SetRegValue(HKEY_CURRENT_USER, kLogonKey, L"Password", REG_BINARY, notText, sizeof notText);
                if (before == Before::Damaged) WriteCredential(damaged, sizeof damaged, owner);
                // Wine takes blobs larger than the 2560 bytes Windows allows.
                if (before == Before::Oversized) WriteCredential(std::wstring(1281, L'x').data(), 2562, owner);
                std::optional<ImportPatch> refusal;
                if (row.fault == Fault::CredWrite || row.fault == Fault::CredRead)
                    refusal.emplace(QuarnverLibrary(), "advapi32.dll", row.fault == Fault::CredWrite ? "CredWriteW" : "CredReadW",
                                    row.fault == Fault::CredWrite ? reinterpret_cast<void*>(&RefusingCredWrite)
                                                                  : reinterpret_cast<void*>(&RefusingCredRead));
                std::optional<WriteRefusingRegistry> readOnly;
                if (row.fault == Fault::ReadOnlyKey) readOnly.emplace(QuarnverLibrary(), HKEY_CURRENT_USER);
                REQUIRE((refusal ? refusal->Patched() : !readOnly || readOnly->Patched()));
                for (const TemplatePolicy* policy : {&noSaving, &vault})
                    if (row.host != Host::Plain) SetVirtual(policy->key, policy->valueName.c_str(), policy->disabled);
                const HostScope host(row.host);

                const bool vaulted = row.store == Store::Vault, reads = row.fault != Fault::CredRead;
                const bool moves = vaulted && reads && row.fault != Fault::CredWrite && before != Before::NotText;
                const bool deletes = !readOnly;
                const std::wstring* inRegistry = before == Before::Plain ? &plain : before == Before::Lifted ? &between : nullptr;
                ComPtr<IQuarn5Logon> logon = NewLogon();
                REQUIRE(logon);
                std::wstring recalled;
                if (row.store == Store::Registry) recalled = inRegistry ? *inRegistry : before == Before::NotText ? notTextRead : L"";
                // A credential is offered to its own user only, not to another one given to Initialize.
                if (vaulted && reads && row.fault != Fault::LongUser)
                    recalled = inRegistry ? *inRegistry : before == Before::Credential || before == Before::NotText ? kept : L"";
                if (row.store == Store::Nowhere) {
                    // Removed at once, whatever Level the client sets next.
                    CHECK(Remembered(L"Password") == L"<missing>");
                    CHECK_FALSE(ReadCredential().present);
                }
                if (vaulted && inRegistry) {
                    // Moved at once: into the credential, out of the registry.
                    CHECK(Remembered(L"Password") == (moves && deletes ? L"<missing>" : *inRegistry));
                    CHECK(ReadCredential().blob == Utf16Bytes(moves ? *inRegistry : before == Before::Lifted ? plain : L""));
                }
                const StoredCredential recalledFrom = ReadCredential();
                const LONG level = row.level | (supply == Dialog ? 4 : 0);
                if (level) CHECK(logon->put_Level(level) == S_OK);
                const UniqueVariant user = row.fault == Fault::LongUser ? Text(std::wstring(600, L'я')) : Missing();
                const UniqueVariant password = supply == Argument ? Text(typed) : Missing();
                bool shown = false;
                const InitializeResult result =
                    supply == Dialog ? InitializeWithDialog(logon.Get(), L"client", *Missing().Get(), *user.Get(), *password.Get(),
                                                            [&](HWND window) {
                                                                TypeInto(window, IDC_LOGON_PASSWORD, typed);
                                                                Click(window, IDOK);
                                                            })
                                     : InitializeSilently(logon.Get(), L"client", *Missing().Get(), *user.Get(), *password.Get(), &shown);
                REQUIRE(result.hr == S_OK);
                RememberLevel(0);
                const std::wstring expected = typing ? typed : recalled;
                CHECK(Get(logon.Get(), Property::Password) == expected);
                // A password nobody supplied replaces nothing Credential Manager
                // refuses, and no password it could not offer (withheld).
                const bool withheld = vaulted && (!reads || before == Before::OtherUser);
                const bool writes = row.fault != Fault::CredWrite && row.fault != Fault::LongUser;
                const bool written = vaulted && writes && (typing || !withheld), erased = vaulted && typing && !writes;
                const std::wstring stored = inRegistry ? *inRegistry : before == Before::NotText ? notTextStored : L"<missing>";
                const std::wstring left = !deletes || (!typing && !moves) ? stored : L"<missing>";
                // Where the machine's decision cannot be read, what was kept stays.
                const bool keeps = row.store == Store::Unknown;
                CHECK(Remembered(L"Password") == (row.store == Store::Registry ? expected : vaulted ? left : keeps ? stored : L"<missing>"));
                // Without a policy, Credential Manager is left as it was.
                const StoredCredential credential = ReadCredential();
                if (row.store == Store::Registry || keeps) CHECK(credential.present == (before != Before::Nothing && before != Before::Plain));
                if (row.store == Store::Registry && before == Before::Credential) CHECK(credential.blob == Utf16Bytes(kept));
                if (row.store == Store::Nowhere || erased) CHECK_FALSE(credential.present);
                if (written) {
                    CHECK(credential.blob == Utf16Bytes(expected));
                    CHECK(credential.user == Get(logon.Get(), Property::User));
                } else if ((vaulted && !erased) || keeps) {
                    CHECK((credential.present == recalledFrom.present && credential.user == recalledFrom.user &&
                           credential.blob == recalledFrom.blob));
                }
                // The next object offers what was remembered for its user, never an older password.
                std::wstring offered = row.store == Store::Registry || written ? expected : L"";
                if (vaulted && !written && !erased && row.fault != Fault::LongUser) offered = recalled;
                ComPtr<IQuarn5Logon> next = NewLogon();
                REQUIRE(InitializeSilently(next.Get(), L"client", *Missing().Get(), *Missing().Get(), *Missing().Get(), &shown).hr == S_OK);
                CHECK(Get(next.Get(), Property::Password) == (vaulted && !reads ? L"" : offered));
            }
        }
    }
}

TEST_CASE_FIXTURE(PolicyFixture, "the server policy fixes the server or names its default") {
    const TemplatePolicy policy = TemplatePolicies().at("TranslationServer");
    const wchar_t *named = L"СЕРВЕР-ПОЛИТИКИ", *machine = L"МАШИННЫЙ", *remembered = L"ЗАПОМНЕННЫЙ", *given = L"ПЕРЕДАННЫЙ",
                  *typed = L"НАБРАННЫЙ";
    const std::wstring tooLong(256, L'S'), local = ComputerNameW();
    enum Allow { Absent, No, Yes };
    const struct {
        const char* name;
        const wchar_t* server[2];  // Server of the machine, of the user
        Allow allow[2];            // AllowServerChange of the machine, of the user
        const wchar_t *remembered, *given, *typed, *expected;  // expected: the logon's server
        LONG level;
        bool open;  // the server row can be changed, and the server is remembered
        Host host = Host::Plain;  // the virtual store names another server, AllowServerChange 1
        // A logon under this earlier default came first, given remembered as its server.
        const wchar_t* earlier = nullptr;
    } rows[] = {
        {"fixed by the machine", {named}, {}, remembered, given, nullptr, named, 7, false},
        {"fixed by the user: the server row alone is silent", {nullptr, named}, {Absent, No}, nullptr, given, nullptr, named, 2, false},
        {"default: remembered wins", {named}, {Yes}, remembered, nullptr, nullptr, remembered, 7, true},
        {"default: for none remembered", {nullptr, named}, {Absent, Yes}, nullptr, nullptr, nullptr, named, 7, true},
        {"default: given wins", {named}, {Yes}, remembered, given, nullptr, given, 0, true},
        {"default: typed wins", {named}, {Yes}, nullptr, nullptr, typed, typed, 2, true},
        {"machine's Server over the user's default", {machine, named}, {Absent, Yes}, nullptr, given, nullptr, machine, 0, false},
        {"machine's AllowServerChange alone: the user's pair", {nullptr, named}, {Yes}, nullptr, given, nullptr, named, 0, false},
        {"empty machine value: the user's pair", {L"", named}, {}, nullptr, nullptr, nullptr, named, 0, false},
        {"empty value: no policy", {L""}, {Yes}, nullptr, nullptr, nullptr, local.c_str(), 0, true},
        {"256 characters: no policy", {tooLong.c_str()}, {}, remembered, nullptr, nullptr, remembered, 0, true},
        {"virtualized: fixed by the machine", {named}, {}, remembered, given, nullptr, named, 0, false, Host::Virtualized},
        {"machine's key refused: not the user's pair", {nullptr, named}, {Absent, No}, remembered, nullptr, nullptr, remembered, 0, true, Host::Refused},
        {"default moved: followed", {named}, {Yes}, nullptr, nullptr, nullptr, named, 0, true, Host::Plain, machine},
        {"default moved: a choice kept", {nullptr, named}, {Absent, Yes}, remembered, nullptr, nullptr, remembered, 0, true, Host::Plain, machine},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        DeleteTree(HKEY_CURRENT_USER, kLogonKey);
        if (row.earlier) {
            SetRegString(HKEY_CURRENT_USER, policy.key, policy.valueNames.at("Server").c_str(), row.earlier);
            SetRegValue(HKEY_CURRENT_USER, policy.key, policy.valueNames.at("AllowServerChange").c_str(), REG_DWORD, &policy.enabled, 4);
            ComPtr<IQuarn5Logon> first = NewLogon();
            const UniqueVariant server = row.remembered ? Text(row.remembered) : Missing();
            bool shown = false;
            REQUIRE(InitializeSilently(first.Get(), L"client", *server.Get(), *Missing().Get(), *Missing().Get(), &shown).hr == S_OK);
        }
        for (int i : {0, 1}) {
            const HKEY root = i == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            DeleteTree(root, L"Software\\Policies\\Velmora");
            if (row.server[i]) SetRegString(root, policy.key, policy.valueNames.at("Server").c_str(), row.server[i]);
            const DWORD value = row.allow[i] == Yes ? policy.enabled : policy.disabled;
            if (row.allow[i] != Absent)
                SetRegValue(root, policy.key, policy.valueNames.at("AllowServerChange").c_str(), REG_DWORD, &value, sizeof value);
        }
        DeleteTree(HKEY_CURRENT_USER, kVirtualStore + L"Software\\Policies\\Velmora");
        if (row.host == Host::Virtualized) {
            SetRegString(HKEY_CURRENT_USER, kVirtualStore + policy.key, policy.valueNames.at("Server").c_str(), L"ВИРТУАЛЬНЫЙ");
            SetVirtual(policy.key, policy.valueNames.at("AllowServerChange").c_str(), policy.enabled);
        }
        const HostScope host(row.host);
        if (row.remembered && !row.earlier) Remember(L"Server", row.remembered);
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE((logon && logon->put_Level(row.level) == S_OK));
        g_activations.clear();
        const UniqueVariant server = row.given ? Text(row.given) : Missing();
        DialogView view;
        bool shown = false;
        const bool dialog = (row.level & (row.open ? 7 : 5)) != 0;
        const InitializeResult result =
            dialog ? InitializeWithDialog(logon.Get(), L"client", *server.Get(), *Missing().Get(), *Missing().Get(),
                                          [&](HWND window) {
                                              view = ReadDialog(window);
                                              if (row.typed) TypeInto(window, IDC_LOGON_SERVER, row.typed);
                                              Click(window, IDOK);
                                          })
                   : InitializeSilently(logon.Get(), L"client", *server.Get(), *Missing().Get(), *Missing().Get(), &shown);
        REQUIRE(result.hr == S_OK);
        CHECK((view.found == dialog && !shown));
        if (view.found) CHECK(view.server == (row.typed ? named : row.expected));
        if (view.found) CHECK(std::vector<bool>{view.serverLabelEnabled, view.serverEnabled, view.browseEnabled} == std::vector<bool>(3, row.open));
        CHECK(Get(logon.Get(), Property::Server) == row.expected);
        REQUIRE(g_activations.size() == 1);
        CHECK(g_activations[0].name == (row.expected == local ? L"" : row.expected));
        CHECK(Remembered(L"Server") == (row.open ? row.expected : row.remembered ? row.remembered : L"<missing>"));
    }
}
