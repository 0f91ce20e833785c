// The server queries: fresh server objects introduced with the client and
// user names, controls tied to them, and every failure leaving nothing behind.
#include <doctest/doctest.h>
#include <optional>
#include <vector>
#include "import_patch.h"
#include "logon_test_support.h"
#include "recording_server.h"

namespace {
const HRESULT kNotLoggedOn = static_cast<HRESULT>(0x800F0000);
using Getter = HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*)(IUnknown**);

struct QueryFixture {
    ComApartment com;
    LogonKeyGuard key;
    QueryFixture() {
        Recorded().Reset();
        Remember(L"User", L"Иван");
        Remember(L"Password", L"секрет");
    }
};

struct LoggedOn : QueryFixture {
    RecordingClasses classes;
    ComPtr<IQuarn5Logon> logon = NewLogon();
    LoggedOn() {
        REQUIRE(logon);
        REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
        Recorded().connects.clear();
    }
};

IUnknown* Identity(IUnknown* object) {
    ComPtr<IUnknown> unknown;
    object->QueryInterface(IID_IUnknown, unknown.ReceiveVoid());
    return unknown.Get();  // the object stays alive through the caller's reference
}

void CheckMissing(const ConnectRecord& record, size_t index) {
    REQUIRE(record.argumentTypes.size() > index);
    CHECK(record.argumentTypes[index] == VT_ERROR);
    CHECK(record.argumentErrors[index] == DISP_E_PARAMNOTFOUND);
}

struct ControlRow {
    const char* name;
    Getter getter;
    const wchar_t* kind;
    size_t arguments;  // "missing" in every position but the last, which holds the server
};
const ControlRow kControls[] = {
    {"directions", &IQuarn5Logon::GetQuarnCtlDirections, L"directions", 1},
    {"document", &IQuarn5Logon::GetQuarnCtlDocument, L"document", 2},
    {"dictionary document", &IQuarn5Logon::GetQuarnCtlDictDocument, L"dictdocument", 3},
};
}  // namespace

TEST_CASE_FIXTURE(QueryFixture, "before a logon every query fails with a null result") {
    RecordingClasses classes;
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    const Getter getters[] = {&IQuarn5Logon::GetQuarnSvrDirections, &IQuarn5Logon::GetQuarnCtlDirections,
                              &IQuarn5Logon::GetQuarnCtlDocument, &IQuarn5Logon::GetQuarnCtlDictDocument};
    for (Getter getter : getters) {
        IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
        CHECK((logon.Get()->*getter)(&result) == kNotLoggedOn);
        CHECK(result == nullptr);
        CHECK((logon.Get()->*getter)(nullptr) == E_POINTER);
    }
    CHECK(Recorded().connects.empty());
    CHECK(Recorded().liveControls == 0);
}

TEST_CASE_FIXTURE(LoggedOn, "each server query connects a fresh server object for the client and the user") {
    ComPtr<IUnknown> first, second;
    CHECK(logon->GetQuarnSvrDirections(first.Receive()) == S_OK);
    CHECK(logon->GetQuarnSvrDirections(second.Receive()) == S_OK);
    REQUIRE(first);
    REQUIRE(second);
    CHECK(first.Get() != second.Get());
    CHECK(Recorded().liveServers == 2);

    REQUIRE(Recorded().connects.size() == 2);
    for (size_t i = 0; i < 2; ++i) {
        const ConnectRecord& record = Recorded().connects[i];
        CHECK(record.kind == L"server");
        CHECK(record.client == L"клиент");
        CHECK(record.user == L"Иван");
        REQUIRE(record.argumentTypes.size() == 1);
        CheckMissing(record, 0);
        // Handed out as its IUnknown; the password goes nowhere.
        CHECK(Identity(record.self) == (i == 0 ? first : second).Get());
        CHECK(record.client != L"секрет");
        CHECK(record.user != L"секрет");
    }
    first = nullptr;
    second = nullptr;
    CHECK(Recorded().liveServers == 0);
}

TEST_CASE_FIXTURE(QueryFixture, "empty client and user names arrive as empty, non-null BSTRs") {
    RecordingClasses classes;
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    const UniqueVariant missing = Missing(), empty = Text(L"");
    REQUIRE(Initialize(logon.Get(), nullptr, *missing.Get(), *empty.Get(), *missing.Get()).hr == S_OK);
    ComPtr<IUnknown> server, control;
    CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
    CHECK(logon->GetQuarnCtlDocument(control.Receive()) == S_OK);
    REQUIRE(Recorded().connects.size() == 3);
    for (const ConnectRecord& record : Recorded().connects) {
        CAPTURE(std::string(record.kind.begin(), record.kind.end()));
        CHECK_FALSE(record.clientIsNull);
        CHECK(record.client.empty());
    }
    CHECK_FALSE(Recorded().connects[0].userIsNull);
    CHECK(Recorded().connects[0].user.empty());
}

TEST_CASE_FIXTURE(LoggedOn, "each control is tied to a fresh server object that lives as long as the control") {
    for (const ControlRow& row : kControls) {
        CAPTURE(std::string(row.name));
        Recorded().connects.clear();
        ComPtr<IUnknown> control;
        CHECK((logon.Get()->*row.getter)(control.Receive()) == S_OK);
        REQUIRE(control);
        REQUIRE(Recorded().connects.size() == 2);
        const ConnectRecord& server = Recorded().connects[0];
        const ConnectRecord& connected = Recorded().connects[1];
        CHECK(server.kind == L"server");
        CHECK(server.client == L"клиент");
        CHECK(server.user == L"Иван");
        CHECK(connected.kind == row.kind);
        CHECK(connected.client == L"клиент");
        REQUIRE(connected.argumentTypes.size() == row.arguments);
        for (size_t i = 0; i + 1 < row.arguments; ++i) CheckMissing(connected, i);
        CHECK(connected.argumentTypes.back() == VT_DISPATCH);
        CHECK(connected.argumentObjects.back() == server.self);
        CHECK(Identity(connected.self) == control.Get());
        CHECK(Recorded().liveServers == 1);
        CHECK(Recorded().liveControls == 1);
        control = nullptr;
        CHECK(Recorded().liveServers == 0);
        CHECK(Recorded().liveControls == 0);
    }
}

TEST_CASE_FIXTURE(LoggedOn, "S_FALSE from a Connect still succeeds") {
    Recorded().serverConnectResult = S_FALSE;
    Recorded().controlConnectResult = S_FALSE;
    ComPtr<IUnknown> server, control;
    CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
    CHECK(server);
    CHECK(logon->GetQuarnCtlDictDocument(control.Receive()) == S_OK);
    CHECK(control);
}

namespace {
BSTR WINAPI NoStringLen(const OLECHAR*, UINT) { return nullptr; }
}  // namespace

TEST_CASE_FIXTURE(LoggedOn, "a failing server leaves a null result and no object behind") {
    struct Row {
        const char* name;
        HRESULT createInstance, connect;
        bool noStrings;  // the library's BSTR allocations fail
        HRESULT expect;
    };
    const Row rows[] = {
        {"Connect fails", S_OK, E_ACCESSDENIED, false, E_ACCESSDENIED},
        {"CreateInstance fails", E_OUTOFMEMORY, S_OK, false, E_OUTOFMEMORY},
        {"the names' strings cannot be made", S_OK, S_OK, true, E_OUTOFMEMORY},
    };
    const Getter getters[] = {&IQuarn5Logon::GetQuarnSvrDirections, &IQuarn5Logon::GetQuarnCtlDirections,
                              &IQuarn5Logon::GetQuarnCtlDocument, &IQuarn5Logon::GetQuarnCtlDictDocument};
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        Recorded().createInstanceResult = row.createInstance;
        Recorded().serverConnectResult = row.connect;
        std::optional<ImportPatch> noStrings;
        if (row.noStrings) {
            noStrings.emplace(QuarnverLibrary(), "oleaut32.dll", "SysAllocStringLen",
                              reinterpret_cast<void*>(&NoStringLen));
            REQUIRE(noStrings->Patched());
        }
        for (Getter getter : getters) {
            IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
            CHECK((logon.Get()->*getter)(&result) == row.expect);
            CHECK(result == nullptr);
            CHECK(Recorded().liveServers == 0);
            CHECK(Recorded().liveControls == 0);
        }
    }
    // The logon itself is unharmed.
    Recorded().createInstanceResult = S_OK;
    Recorded().serverConnectResult = S_OK;
    ComPtr<IUnknown> server;
    CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
}

TEST_CASE_FIXTURE(LoggedOn, "a failing control Connect returns its HRESULT and drops its error object") {
    Recorded().controlConnectResult = E_INVALIDARG;
    for (const ControlRow& row : kControls) {
        CAPTURE(std::string(row.name));
        SetErrorInfo(0, nullptr);
        IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
        CHECK((logon.Get()->*row.getter)(&result) == E_INVALIDARG);
        CHECK(result == nullptr);
        CHECK(Recorded().liveServers == 0);
        CHECK(Recorded().liveControls == 0);
        ComPtr<IErrorInfo> info;
        CHECK(GetErrorInfo(0, info.Receive()) == S_FALSE);
    }
}

TEST_CASE_FIXTURE(QueryFixture, "an unregistered control class fails after the server object came and went") {
    RecordingClasses serverOnly(false);
    // The document control is made unknown to COM for the case, whatever the
    // prefix has registered, and given back afterwards.
    KeyBackup hidden(HKEY_CLASSES_ROOT, L"CLSID\\{A62E1092-C3C7-11D1-886E-00E0290CD6CA}");
    ComPtr<IUnknown> probe;
    REQUIRE(CoCreateInstance(CLSID_QuarnCtlDocument, nullptr, CLSCTX_ALL, IID_IUnknown, probe.ReceiveVoid()) ==
            REGDB_E_CLASSNOTREG);
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
    IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
    CHECK(logon->GetQuarnCtlDocument(&result) == REGDB_E_CLASSNOTREG);
    CHECK(result == nullptr);
    REQUIRE(Recorded().connects.size() == 1);
    CHECK(Recorded().connects[0].kind == L"server");
    CHECK(Recorded().liveServers == 0);
}

TEST_CASE_FIXTURE(QueryFixture, "a query outlives the host letting go of the logon object inside the server's Connect") {
    RecordingClasses classes;
    for (Getter getter : {&IQuarn5Logon::GetQuarnSvrDirections, &IQuarn5Logon::GetQuarnCtlDirections,
                          &IQuarn5Logon::GetQuarnCtlDocument, &IQuarn5Logon::GetQuarnCtlDictDocument}) {
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
        IQuarn5Logon* last = logon.Take();  // the host's only reference
        LONG lockedInside = -1;  // the logon object gives up its server lock when deleted
        Recorded().onServerConnect = [&] { last->Release(); lockedInside = Recorded().lockBalance; };
        ComPtr<IUnknown> result;
        CHECK((last->*getter)(result.Receive()) == S_OK);
        Recorded().onServerConnect = nullptr;
        CHECK(lockedInside == 1);
        CHECK(Recorded().lockBalance == 0);
    }
}
