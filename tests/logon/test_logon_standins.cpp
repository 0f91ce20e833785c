// The logon object with the stand-ins of the translation server (a local
// server EXE reached through COM's activation and marshaling) and of its
// controls (an in-process DLL): what reaches Connect, and what is left alive.
#include <doctest/doctest.h>
#include <vector>
#include "quarn_server_h.h"
#include "logon_test_support.h"
#include "standins/standin_control.h"

namespace {
using Getter = HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*)(IUnknown**);

struct StandInFixture {
    ComApartment com;
    LogonKeyGuard key;
    StandInFixture() {
        REQUIRE(ResetStandIns() == S_OK);
        Remember(L"User", L"Иван");
        Remember(L"Password", L"секрет");
    }
};

// Logged on through the stand-in server EXE on this computer.
struct LoggedOnStandIn : StandInFixture {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    LoggedOnStandIn() {
        REQUIRE(logon);
        const InitializeResult result = Initialize(logon.Get(), L"клиент");
        REQUIRE(result.hr == S_OK);
        REQUIRE(result.out == 1);
    }
};

void CheckText(const StandInConnectArgument& argument, const std::wstring& text) {
    CHECK(argument.type == VT_BSTR);
    CHECK_FALSE(argument.nullBstr);
    CHECK(argument.text == text);
}

void CheckMissing(const StandInConnectArgument& argument) {
    CHECK(argument.type == VT_ERROR);
    CHECK(argument.text == L"0x80020004");
}

void CheckNoPassword(const std::vector<StandInConnectRecord>& records) {
    for (const StandInConnectRecord& record : records)
        for (const StandInConnectArgument& argument : record.arguments) CHECK(argument.text != L"секрет");
}

struct ControlRow {
    const char* name;
    StandInKind kind;
    Getter getter;
    size_t arguments;  // client, "missing" ones, then the server object
};
const ControlRow kControls[] = {
    {"directions", StandInKind::CtlDirections, &IQuarn5Logon::GetQuarnCtlDirections, 2},
    {"document", StandInKind::CtlDocument, &IQuarn5Logon::GetQuarnCtlDocument, 3},
    {"dictionary document", StandInKind::CtlDictDocument, &IQuarn5Logon::GetQuarnCtlDictDocument, 4},
};
}  // namespace

TEST_CASE("with nothing remembered a silent logon activates the stand-in server on this computer") {
    ComApartment com;
    LogonKeyGuard key;
    REQUIRE(ResetStandIns() == S_OK);
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    bool shown = false;
    const UniqueVariant missing = Missing();
    const InitializeResult result =
        InitializeSilently(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), &shown);
    CHECK_FALSE(shown);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 1);
    const std::wstring user = AnsiToWide(UserNameA());
    CHECK(Remembered(L"User") == user);
    CHECK(Remembered(L"Server") == AnsiToWide(ComputerNameA()));
    CHECK(Remembered(L"Password").empty());

    ComPtr<IUnknown> server;
    CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
    const std::vector<StandInConnectRecord> records = ReadStandInConnects(StandInKind::Server);
    REQUIRE(records.size() == 1);
    // The server object lives in the stand-in server's own process.
    CHECK(records[0].processId != GetCurrentProcessId());
    REQUIRE(records[0].arguments.size() == 3);
    CheckText(records[0].arguments[0], L"client");
    CheckText(records[0].arguments[1], user);
}

TEST_CASE_FIXTURE(LoggedOnStandIn, "the stand-in server is connected for the client and the user") {
    ComPtr<IUnknown> first, second;
    CHECK(logon->GetQuarnSvrDirections(first.Receive()) == S_OK);
    CHECK(logon->GetQuarnSvrDirections(second.Receive()) == S_OK);
    REQUIRE(first);
    REQUIRE(second);
    CHECK(first.Get() != second.Get());

    const std::vector<StandInConnectRecord> records = ReadStandInConnects(StandInKind::Server);
    REQUIRE(records.size() == 2);
    CHECK(records[0].objectSerial != records[1].objectSerial);
    for (const StandInConnectRecord& record : records) {
        REQUIRE(record.arguments.size() == 3);
        CheckText(record.arguments[0], L"клиент");
        CheckText(record.arguments[1], L"Иван");
        CheckMissing(record.arguments[2]);
    }
    CheckNoPassword(records);
    first = nullptr;
    second = nullptr;
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));
}

TEST_CASE_FIXTURE(StandInFixture, "names in any script reach the stand-in server's Connect unchanged") {
    for (const ScriptNames& names : kScriptNames) {
        CAPTURE(WideToUtf8(names.user));
        REQUIRE(ResetStandIns() == S_OK);
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        // The server name serves as the client name: the server itself stays this computer.
        const UniqueVariant here = Missing(), user = Text(names.user), password = Text(names.password);
        REQUIRE(Initialize(logon.Get(), names.server, *here.Get(), *user.Get(), *password.Get()).hr == S_OK);
        ComPtr<IUnknown> server;
        CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
        const std::vector<StandInConnectRecord> records = ReadStandInConnects(StandInKind::Server);
        REQUIRE(records.size() == 1);
        REQUIRE(records[0].arguments.size() == 3);
        CheckText(records[0].arguments[0], names.server);
        CheckText(records[0].arguments[1], names.user);
    }
}

TEST_CASE_FIXTURE(LoggedOnStandIn, "each stand-in control receives a fresh server object as VT_DISPATCH") {
    for (const ControlRow& row : kControls) {
        CAPTURE(std::string(row.name));
        REQUIRE(ResetStandIns() == S_OK);
        ComPtr<IUnknown> control;
        CHECK((logon.Get()->*row.getter)(control.Receive()) == S_OK);
        REQUIRE(control);

        const std::vector<StandInConnectRecord> servers = ReadStandInConnects(StandInKind::Server);
        const std::vector<StandInConnectRecord> controls = ReadStandInConnects(row.kind);
        REQUIRE(servers.size() == 1);
        REQUIRE(controls.size() == 1);
        const StandInConnectRecord& record = controls.front();
        REQUIRE(record.arguments.size() == row.arguments);
        CheckText(record.arguments.front(), L"клиент");
        for (size_t i = 1; i + 1 < row.arguments; ++i) CheckMissing(record.arguments[i]);
        const StandInConnectArgument& server = record.arguments.back();
        CHECK(server.type == VT_DISPATCH);
        CHECK(server.standInServer);
        CHECK(server.serverSerial == servers.front().objectSerial);
        CheckNoPassword(ReadStandInConnects());

        // The control keeps the server object; both go with the control.
        CHECK(StandInLiveObjects(row.kind) == 1);
        control = nullptr;
        CHECK(WaitForStandInLiveObjects(row.kind, 0));
        CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));
    }
}

TEST_CASE_FIXTURE(StandInFixture, "empty client and user names reach the stand-ins as empty BSTRs") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    const UniqueVariant missing = Missing(), empty = Text(L"");
    REQUIRE(Initialize(logon.Get(), nullptr, *missing.Get(), *empty.Get(), *missing.Get()).hr == S_OK);
    ComPtr<IUnknown> control;
    CHECK(logon->GetQuarnCtlDirections(control.Receive()) == S_OK);
    const std::vector<StandInConnectRecord> records = ReadStandInConnects();
    REQUIRE(records.size() == 2);
    CHECK(records[0].arguments.at(0).emptyBstr);
    CHECK(records[0].arguments.at(1).emptyBstr);
    CHECK(records[1].arguments.at(0).emptyBstr);
}

TEST_CASE_FIXTURE(LoggedOnStandIn, "Connect results of the stand-ins: S_FALSE succeeds, a failure leaves nothing") {
    REQUIRE(SetStandInConnectResult(StandInKind::Server, S_FALSE) == S_OK);
    REQUIRE(SetStandInConnectResult(StandInKind::CtlDocument, S_FALSE) == S_OK);
    {
        ComPtr<IUnknown> server, control;
        CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
        CHECK(server);
        CHECK(logon->GetQuarnCtlDocument(control.Receive()) == S_OK);
        CHECK(control);
    }
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));

    REQUIRE(SetStandInConnectResult(StandInKind::Server, E_ACCESSDENIED) == S_OK);
    IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
    CHECK(logon->GetQuarnSvrDirections(&result) == E_ACCESSDENIED);
    CHECK(result == nullptr);
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));

    REQUIRE(SetStandInConnectResult(StandInKind::Server, S_OK) == S_OK);
    REQUIRE(SetStandInConnectResult(StandInKind::CtlDictDocument, E_INVALIDARG) == S_OK);
    result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
    CHECK(logon->GetQuarnCtlDictDocument(&result) == E_INVALIDARG);
    CHECK(result == nullptr);
    CHECK(WaitForStandInLiveObjects(StandInKind::CtlDictDocument, 0));
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));
    ComPtr<IErrorInfo> info;
    CHECK(GetErrorInfo(0, info.Receive()) == S_FALSE);
}

TEST_CASE_FIXTURE(LoggedOnStandIn, "an unregistered control class is reported after the server object came and went") {
    KeyBackup hidden(HKEY_CLASSES_ROOT, L"CLSID\\{A62E1092-C3C7-11D1-886E-00E0290CD6CA}");
    IUnknown* result = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
    CHECK(logon->GetQuarnCtlDocument(&result) == REGDB_E_CLASSNOTREG);
    CHECK(result == nullptr);
    CHECK(ReadStandInConnects(StandInKind::Server).size() == 1);
    CHECK(ReadStandInConnects(StandInKind::CtlDocument).empty());
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, 0));
}

TEST_CASE_FIXTURE(StandInFixture, "destroying a logged-on object balances LockServer on the server's class object") {
    InProcessStandInServer server;
    REQUIRE(server.Registered() == S_OK);
    const long balance = StandInServerLockBalance();
    const long references = server.ClassObjectReferences();
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
    CHECK(StandInServerLockBalance() == balance + 1);
    CHECK(server.ClassObjectReferences() == references + 1);
    logon = nullptr;
    CHECK(StandInServerLockBalance() == balance);
    CHECK(server.ClassObjectReferences() == references);
}
