// Bad input through both interfaces, early and late bound: every VARIANT
// type in every argument position, wrong argument counts, named arguments,
// odd flags, null out pointers and null DISPPARAMS members. Each call must
// come back with an HRESULT and leave the object usable.
//
// The logon object runs with Level 8: a silent logon that remembers nothing,
// against the stand-in server's class object registered in this process.
#include <doctest/doctest.h>
#include <cstdio>
#include <map>
#include "logon_test_support.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "robustness_support.h"
#include "standins/standin_control.h"
#include "variant_samples.h"

namespace {
const LONG kSilentNothingRemembered = 8;
const HRESULT kNotLoggedOn = static_cast<HRESULT>(0x800F0000);

// The DISPIDs of IQuarn5Logon.
enum LogonDispid : DISPID {
    kInitialize = 1, kLevel, kSvrDirections, kCtlDirections, kCtlDocument, kCtlDictDocument,
    kClient, kUser, kPassword, kServer,
};

struct BadInputFixture {
    ComApartment com;
    LogonKeyGuard key;
    RegistrationGuard registration;
    QuarnverModule dll;
    std::unique_ptr<InProcessStandInServer> server;
    std::vector<std::unique_ptr<VariantSample>> samples = MakeVariantSamples();

    BadInputFixture() {
        REQUIRE(ResetStandIns() == S_OK);
        REQUIRE(dll.RegisterServer() == S_OK);
        server = std::make_unique<InProcessStandInServer>();
        REQUIRE(server->Registered() == S_OK);
    }
    ~BadInputFixture() {
        server.reset();
        // Nothing the sweep made is left alive, and nothing was remembered.
        for (int kind = 0; kind < kStandInKindCount; ++kind)
            CHECK(WaitForStandInLiveObjects(static_cast<StandInKind>(kind), 0));
        CHECK(dll.CanUnloadNow() == S_OK);
        dll.UnregisterServer();
    }

    ComPtr<IQuarn5Logon> SilentLogon() {
        ComPtr<IQuarn5Logon> logon = dll.Create<IQuarn5Logon>(CLSID_Quarn5Logon);
        REQUIRE(logon);
        REQUIRE(logon->put_Level(kSilentNothingRemembered) == S_OK);
        return logon;
    }
};

std::wstring PropertyText(IQuarn5Logon* logon, LogonDispid which, HRESULT* hr) {
    switch (which) {
    case kServer: return Get(logon, Property::Server, hr);
    case kUser: return Get(logon, Property::User, hr);
    case kPassword: return Get(logon, Property::Password, hr);
    default: return Get(logon, Property::Client, hr);
    }
}

// The object still answers: Level reads back, and the string properties
// answer for the state it is in.
void CheckUsable(IQuarn5Logon* logon, bool loggedOn, const std::string& what, bool query = true) {
    INFO(what);
    LONG level = -1;
    CHECK(logon->get_Level(&level) == S_OK);
    CHECK(level == kSilentNothingRemembered);
    HRESULT hr = E_NOTIMPL;
    Get(logon, Property::User, &hr);
    CHECK(hr == (loggedOn ? S_OK : kNotLoggedOn));
    if (loggedOn && query) {
        ComPtr<IUnknown> server;
        CHECK(logon->GetQuarnSvrDirections(server.Receive()) == S_OK);
        CHECK(server);
    }
}

void CheckText(const VariantSample& sample, const std::wstring& actual, const std::wstring& before) {
    INFO(sample.Name());
    switch (sample.Outcome()) {
    case TextOutcome::Ignored: CHECK(actual == before); break;
    case TextOutcome::Text: CHECK(actual == sample.Text()); break;
    case TextOutcome::Either:
        if (!sample.Text().empty()) CHECK((actual == before || actual == sample.Text()));
        break;
    }
}

std::string HrText(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Tallies results by HRESULT, printed once per sweep.
struct Tally {
    std::map<HRESULT, int> counts;
    void Add(HRESULT hr) { ++counts[hr]; }
    void Print(const char* sweep) const {
        printf("%s:", sweep);
        for (const auto& [hr, n] : counts) printf(" %s x%d", HrText(hr).c_str(), n);
        printf("\n");
    }
};
}  // namespace

TEST_CASE_FIXTURE(BadInputFixture, "Initialize through the vtable takes every VARIANT in every optional position") {
    const std::wstring defaults[] = {Utf8ToWide(ComputerNameA().c_str()), Utf8ToWide(UserNameA().c_str()), L""};
    const LogonDispid positions[] = {kServer, kUser, kPassword};
    Tally tally;
    for (const auto& sample : samples) {
        for (int p = 0; p < 3; ++p) {
            ComPtr<IQuarn5Logon> logon = SilentLogon();
            VARIANT missing = VariantOfMissing();
            const VARIANT* args[3] = {&missing, &missing, &missing};
            args[p] = &sample->Value();
            UniqueBstr client(SysAllocString(L"клиент"));
            LONG out = -1;
            const HRESULT hr = logon->Initialize(client.Get(), *args[0], *args[1], *args[2], &out);
            tally.Add(hr);
            INFO(sample->Name() << " as argument " << p + 2);
            CHECK(hr == S_OK);
            CHECK(out == 1);
            HRESULT got = E_NOTIMPL;
            const std::wstring text = PropertyText(logon.Get(), positions[p], &got);
            CHECK(got == S_OK);
            CheckText(*sample, text, defaults[p]);
            CheckUsable(logon.Get(), true, sample->Name(), p == 1);
        }
    }
    tally.Print("Initialize, vtable");
    CHECK_FALSE(LogonKeyExists());
}

TEST_CASE_FIXTURE(BadInputFixture, "Initialize through Invoke takes every VARIANT in every position") {
    Tally tally;
    for (const auto& sample : samples) {
        for (size_t p = 0; p < 4; ++p) {
            ComPtr<IQuarn5Logon> logon = SilentLogon();
            ComPtr<IDispatch> dispatch;
            REQUIRE(logon.As(&dispatch) == S_OK);
            UniqueBstr client(SysAllocString(L"клиент"));
            VARIANT clientArg;
            VariantInit(&clientArg);
            V_VT(&clientArg) = VT_BSTR;
            V_BSTR(&clientArg) = client.Get();
            std::vector<VARIANT> args = {clientArg, VariantOfMissing(), VariantOfMissing(), VariantOfMissing()};
            args[p] = sample->Value();
            InvokeOutcome outcome;
            InvokeWith(dispatch.Get(), kInitialize, DISPATCH_METHOD, args, {}, &outcome);
            tally.Add(outcome.hr);
            INFO(sample->Name() << " as argument " << p + 1 << ": " << HrText(outcome.hr));
            if (SUCCEEDED(outcome.hr)) {
                CHECK(V_VT(&outcome.result) == VT_I4);
                CHECK(V_I4(&outcome.result) == 1);
            } else {
                // Refused before the call: the client name when it has no
                // text, any argument that is no valid VARIANT.
                CHECK((p == 0 || outcome.hr == DISP_E_BADVARTYPE));
            }
            CheckUsable(logon.Get(), SUCCEEDED(outcome.hr), sample->Name(), false);
        }
    }
    tally.Print("Initialize, Invoke");
    CHECK_FALSE(LogonKeyExists());
}

TEST_CASE_FIXTURE(BadInputFixture, "Level put through Invoke takes every VARIANT") {
    ComPtr<IQuarn5Logon> logon = SilentLogon();
    ComPtr<IDispatch> dispatch;
    REQUIRE(logon.As(&dispatch) == S_OK);
    Tally tally;
    for (const auto& sample : samples) {
        InvokeOutcome outcome;
        InvokeWith(dispatch.Get(), kLevel, DISPATCH_PROPERTYPUT, {sample->Value()}, {DISPID_PROPERTYPUT}, &outcome);
        tally.Add(outcome.hr);
        INFO(sample->Name() << ": " << HrText(outcome.hr));
        LONG level = -1;
        CHECK(logon->get_Level(&level) == S_OK);
        if (FAILED(outcome.hr)) CHECK(level == kSilentNothingRemembered);
        REQUIRE(logon->put_Level(kSilentNothingRemembered) == S_OK);
    }
    tally.Print("Level put, Invoke");
    CheckUsable(logon.Get(), false, "after the sweep");
}

TEST_CASE_FIXTURE(BadInputFixture, "every member through Invoke with wrong counts, named arguments and odd flags") {
    ComPtr<IQuarn5Logon> logon = SilentLogon();
    LONG out = 0;
    REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
    (void)out;
    ComPtr<IDispatch> dispatch;
    REQUIRE(logon.As(&dispatch) == S_OK);

    const WORD flagSets[] = {0, DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                             DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0xFFFF};
    const DISPID dispids[] = {kInitialize, kLevel, kSvrDirections, kClient, kUser, kPassword, kServer,
                              0, 11, -1, -4, 0x7FFFFFFF};
    struct Shape {
        const char* name;
        size_t count;
        std::vector<DISPID> named;
    };
    const Shape shapes[] = {
        {"no arguments", 0, {}},
        {"one argument", 1, {}},
        {"four arguments", 4, {}},
        {"five arguments", 5, {}},
        {"twelve arguments", 12, {}},
        {"put argument", 1, {DISPID_PROPERTYPUT}},
        {"named Server", 1, {1}},
        {"named Password and User", 2, {3, 2}},
        {"named unknown", 1, {99}},
        {"named negative", 1, {-5}},
        {"named twice the same", 2, {1, 1}},
    };
    Tally tally;
    for (DISPID dispid : dispids) {
        for (WORD flags : flagSets) {
            for (const Shape& shape : shapes) {
                std::vector<VARIANT> args(shape.count, VariantOfI4(kSilentNothingRemembered));
                InvokeOutcome outcome;
                InvokeWith(dispatch.Get(), dispid, flags, args, shape.named, &outcome);
                tally.Add(outcome.hr);
                // A put reaching Level leaves 8 behind; a result holding an
                // object is released with the outcome.
            }
        }
        CheckUsable(logon.Get(), true, "after DISPID " + std::to_string(dispid));
    }
    tally.Print("shapes, Invoke");

    // DISPPARAMS whose members do not match their counts.
    VARIANT arg = VariantOfI4(kSilentNothingRemembered);
    DISPID putName = DISPID_PROPERTYPUT;
    struct BadParams {
        const char* name;
        DISPPARAMS params;
        WORD flags;
    } bad[] = {
        {"arguments counted but missing", {nullptr, nullptr, 2, 0}, DISPATCH_METHOD},
        {"named arguments counted but missing", {&arg, nullptr, 1, 1}, DISPATCH_PROPERTYPUT},
        {"more named than positional", {&arg, &putName, 1, 2}, DISPATCH_PROPERTYPUT},
        {"put without arguments", {nullptr, &putName, 0, 1}, DISPATCH_PROPERTYPUT},
    };
    for (DISPID dispid : {kInitialize, kLevel, kUser, kCtlDocument}) {
        for (BadParams& row : bad) {
            INFO(row.name << " on DISPID " << dispid);
            VARIANT result;
            VariantInit(&result);
            UINT argErr = 0;
            const HRESULT hr = dispatch->Invoke(dispid, IID_NULL, 0, row.flags, &row.params, &result, nullptr, &argErr);
            CHECK(FAILED(hr));
            VariantClear(&result);
        }
        CheckUsable(logon.Get(), true, "after bad DISPPARAMS");
    }

    // Null out pointers of Invoke.
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    CHECK(dispatch->Invoke(kLevel, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr) ==
          E_POINTER);
    CHECK(dispatch->Invoke(kLevel, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr) == S_OK);
    CHECK(dispatch->Invoke(kUser, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr) == S_OK);
    CheckUsable(logon.Get(), true, "after null out pointers");
}

TEST_CASE_FIXTURE(BadInputFixture, "null out pointers and odd BSTRs through the vtable") {
    ComPtr<IQuarn5Logon> logon = SilentLogon();
    using Getter = HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*)(IUnknown**);
    using StringGetter = HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*)(BSTR*);
    const Getter getters[] = {&IQuarn5Logon::GetQuarnSvrDirections, &IQuarn5Logon::GetQuarnCtlDirections,
                              &IQuarn5Logon::GetQuarnCtlDocument, &IQuarn5Logon::GetQuarnCtlDictDocument};
    const StringGetter strings[] = {&IQuarn5Logon::get_Client, &IQuarn5Logon::get_User,
                                    &IQuarn5Logon::get_Password, &IQuarn5Logon::get_Server};
    VARIANT missing = VariantOfMissing();

    // Before and after logging on.
    for (int round = 0; round < 2; ++round) {
        CAPTURE(round);
        CHECK(logon->get_Level(nullptr) == E_POINTER);
        for (Getter getter : getters) CHECK((logon.Get()->*getter)(nullptr) == E_POINTER);
        for (StringGetter getter : strings) CHECK((logon.Get()->*getter)(nullptr) == E_POINTER);
        CHECK(logon->QueryInterface(IID_IUnknown, nullptr) == E_POINTER);
        CHECK(logon->GetTypeInfoCount(nullptr) == E_POINTER);
        CHECK(logon->GetTypeInfo(0, 0, nullptr) == E_POINTER);
        LPOLESTR name = const_cast<LPOLESTR>(L"Level");
        LPOLESTR nullName = nullptr;
        DISPID id = 0;
        CHECK(logon->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id) == E_POINTER);
        CHECK(logon->GetIDsOfNames(IID_NULL, &name, 1, 0, nullptr) == E_POINTER);
        CHECK(logon->GetIDsOfNames(IID_NULL, &nullName, 1, 0, &id) == E_POINTER);
        CHECK(logon->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr) == S_OK);
        const HRESULT initialized = logon->Initialize(nullptr, missing, missing, missing, nullptr);
        CHECK((round == 0 ? initialized == E_POINTER : initialized == E_FAIL));
        CheckUsable(logon.Get(), round == 1, "null out pointers");
        if (round == 0) REQUIRE(Initialize(logon.Get(), nullptr).hr == S_OK);
    }
    CHECK(Get(logon.Get(), Property::Client) == L"");

    // Client names: null, with embedded zeros, and of 1 MB.
    struct ClientRow {
        const char* name;
        BSTR client;
    } clients[] = {{"zeros", MakeBstrWithZeros()}, {"1 MB", MakeHugeBstr(1 << 20)}};
    for (ClientRow& row : clients) {
        INFO(row.name);
        ComPtr<IQuarn5Logon> other = SilentLogon();
        LONG out = 0;
        CHECK(other->Initialize(row.client, missing, missing, missing, &out) == S_OK);
        HRESULT hr = E_NOTIMPL;
        const std::wstring client = Get(other.Get(), Property::Client, &hr);
        CHECK(hr == S_OK);
        CHECK(client.size() >= 2);
        CheckUsable(other.Get(), true, row.name);
        SysFreeString(row.client);
    }
    CHECK_FALSE(LogonKeyExists());
}
