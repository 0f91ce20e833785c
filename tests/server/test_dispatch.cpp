// Late binding through the IDispatch of both classes: names to DISPIDs, type
// information, and Invoke reaching the right vtable slots, loaded from the
// registered type library.
#include <doctest/doctest.h>
#include <functional>
#include "common/bstr.h"
#include "import_patch.h"
#include "quarnver_module.h"
#include "registration_guard.h"

namespace {
const LCID kUserLocale = LOCALE_USER_DEFAULT;

HRESULT IdsOfNames(IDispatch* dispatch, std::initializer_list<const wchar_t*> names, DISPID* ids,
                   LCID lcid = kUserLocale) {
    std::vector<LPOLESTR> list;
    for (const wchar_t* n : names) list.push_back(const_cast<LPOLESTR>(n));
    return dispatch->GetIDsOfNames(IID_NULL, list.data(), static_cast<UINT>(list.size()), lcid, ids);
}

HRESULT PutLevel(IDispatch* dispatch, LONG value) {
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&arg, &named, 1, 1};
    return dispatch->Invoke(2, IID_NULL, kUserLocale, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

HRESULT GetLevel(IDispatch* dispatch, VARIANT* result) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return dispatch->Invoke(2, IID_NULL, kUserLocale, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}
}  // namespace

TEST_CASE("dispatch works with nothing registered, from the module's own type library, and registers nothing") {
    RegistrationGuard guard;
    QuarnverModule dll;
    ComPtr<IDispatch> logon = dll.Create<IDispatch>(CLSID_Quarn5Logon);
    REQUIRE(logon);

    UniqueVariant result;
    CHECK(GetLevel(logon.Get(), result.Receive()) == S_OK);
    CHECK(V_VT(result.Get()) == VT_I4);
    DISPID id = 12345;
    CHECK(IdsOfNames(logon.Get(), {L"Level"}, &id) == S_OK);
    CHECK(id == 2);
    ComPtr<ITypeInfo> info;
    CHECK(logon->GetTypeInfo(0, kUserLocale, info.Receive()) == S_OK);
    CHECK(info);
    UINT count = 0;
    CHECK(logon->GetTypeInfoCount(&count) == S_OK);
    CHECK(count == 1);
    for (const wchar_t* path : RegistrationGuard::kPaths) CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, path));

    REQUIRE(dll.RegisterServer() == S_OK);
    CHECK(GetLevel(logon.Get(), result.Receive()) == S_OK);
    CHECK(V_VT(result.Get()) == VT_I4);
    CHECK(dll.UnregisterServer() == S_OK);
}

TEST_CASE("names, DISPIDs and invocation") {
    RegistrationGuard guard;
    QuarnverModule dll;
    REQUIRE(dll.RegisterServer() == S_OK);
    ComPtr<IDispatch> logon = dll.Create<IDispatch>(CLSID_Quarn5Logon);
    ComPtr<IDispatch> about = dll.Create<IDispatch>(CLSID_Quarn5About);
    REQUIRE(logon);
    REQUIRE(about);

    SUBCASE("GetIDsOfNames") {
        struct Row {
            IDispatch* object;
            std::initializer_list<const wchar_t*> names;
            HRESULT hr;
            std::vector<DISPID> ids;
        } rows[] = {
            {logon.Get(), {L"Initialize"}, S_OK, {1}},
            {logon.Get(), {L"INITIALIZE"}, S_OK, {1}},
            {logon.Get(), {L"initialize", L"SERVER"}, S_OK, {1, 1}},
            {logon.Get(), {L"Initialize", L"Server"}, S_OK, {1, 1}},
            {logon.Get(), {L"Initialize", L"Password", L"User"}, S_OK, {1, 3, 2}},
            {logon.Get(), {L"Level"}, S_OK, {2}},
            {logon.Get(), {L"Server"}, S_OK, {10}},
            {logon.Get(), {L"GetQuarnCtlDictDocument"}, S_OK, {6}},
            {logon.Get(), {L"NoSuchMember"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
            {about.Get(), {L"DlgAbout"}, S_OK, {1}},
            {about.Get(), {L"dlgabout", L"icon", L"TITLE"}, S_OK, {1, 1, 0}},
            {about.Get(), {L"Initialize"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        };
        for (const Row& row : rows) {
            CAPTURE(*row.names.begin());
            std::vector<DISPID> ids(row.names.size(), 12345);
            CHECK(IdsOfNames(row.object, row.names, ids.data()) == row.hr);
            CHECK(ids == row.ids);
        }
        // A count of zero succeeds and writes nothing.
        DISPID untouched = 12345;
        CHECK(logon->GetIDsOfNames(IID_NULL, nullptr, 0, kUserLocale, &untouched) == S_OK);
        CHECK(untouched == 12345);
        // A caller in another locale finds the members as well.
        DISPID id = 0;
        CHECK(IdsOfNames(logon.Get(), {L"Level"}, &id, MAKELCID(0x0419, SORT_DEFAULT)) == S_OK);
        CHECK(id == 2);
    }

    SUBCASE("GetTypeInfo ignores the index and hands out one cached description") {
        ComPtr<ITypeInfo> first, fifth;
        REQUIRE(logon->GetTypeInfo(0, kUserLocale, first.Receive()) == S_OK);
        REQUIRE(logon->GetTypeInfo(5, kUserLocale, fifth.Receive()) == S_OK);
        CHECK(first.Get() == fifth.Get());
        TYPEATTR* attr = nullptr;
        REQUIRE(first->GetTypeAttr(&attr) == S_OK);
        CHECK(IsEqualGUID(attr->guid, IID_IQuarn5Logon));
        first->ReleaseTypeAttr(attr);
        CHECK(logon->GetTypeInfo(0, kUserLocale, nullptr) == E_POINTER);
        CHECK(logon->GetTypeInfoCount(nullptr) == E_POINTER);
    }

    SUBCASE("Invoke of DISPID 2 reaches the Level put and get") {
        ComPtr<IQuarn5Logon> direct;
        REQUIRE(logon.As(&direct) == S_OK);
        // Bit 8 keeps the flag word out of the user's settings.
        CHECK(PutLevel(logon.Get(), 13) == S_OK);
        LONG level = 0;
        CHECK(direct->get_Level(&level) == S_OK);
        CHECK(level == 13);
        CHECK(direct->put_Level(8 | 2) == S_OK);
        UniqueVariant result;
        CHECK(GetLevel(logon.Get(), result.Receive()) == S_OK);
        CHECK(V_VT(result.Get()) == VT_I4);
        CHECK(V_I4(result.Get()) == 10);
        // A put without the put flag is no property get.
        CHECK(logon->Invoke(77, IID_NULL, kUserLocale, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr) != S_OK);
    }
    logon.Reset();
    about.Reset();
    CHECK(dll.UnregisterServer() == S_OK);
}

TEST_CASE("memory running out while the type information loads is reported, and a later call loads it") {
    RegistrationGuard guard;
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    struct Row {
        const char* method;
        std::function<HRESULT(IDispatch*)> call;
    } rows[] = {
        {"GetTypeInfo", [](IDispatch* d) { ComPtr<ITypeInfo> info; return d->GetTypeInfo(0, kUserLocale, info.Receive()); }},
        {"GetIDsOfNames", [](IDispatch* d) { DISPID id = 0; return IdsOfNames(d, {L"Level"}, &id); }},
        {"Invoke", [](IDispatch* d) { UniqueVariant level; return GetLevel(d, level.Receive()); }},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.method));
        QuarnverModule dll;  // a fresh load: no type information yet
        ComPtr<IDispatch> logon = dll.Create<IDispatch>(CLSID_Quarn5Logon);
        REQUIRE(logon);
        {
            AllocationFailure failure(dll.Handle());
            REQUIRE(failure.Patched());
            failure.FailNextOn(GetCurrentThreadId());
            CHECK(row.call(logon.Get()) == E_OUTOFMEMORY);
            CHECK(failure.Happened());
        }
        CHECK(row.call(logon.Get()) == S_OK);
    }
    QuarnverModule dll;
    CHECK(dll.UnregisterServer() == S_OK);
}
