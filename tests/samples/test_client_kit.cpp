// The client kit in <build>/kit as a client developer uses it: this program
// is compiled with the kit's header and identifiers only, links the kit's
// import library, and runs in the kit folder so that the kit's quarnver.dll
// is the one loaded.
#include <doctest/doctest.h>
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <string>
#include "common/com_ptr.h"
#include "quarnver_h.h"
#include "test_support.h"

TEST_CASE("The import library loads the kit's quarnver.dll and reaches its class objects") {
    ComPtr<IClassFactory> factory;
    REQUIRE(DllGetClassObject(CLSID_Quarn5About, IID_IClassFactory, factory.ReceiveVoid()) == S_OK);

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"quarnver.dll"), path, MAX_PATH);
    const std::wstring loaded = path;
    INFO(WideToUtf8(loaded));
    const std::wstring suffix = L"\\kit\\quarnver.dll";
    REQUIRE(loaded.size() > suffix.size());
    CHECK(_wcsicmp(loaded.substr(loaded.size() - suffix.size()).c_str(), suffix.c_str()) == 0);

    ComPtr<IQuarn5About> about;
    REQUIRE(factory->CreateInstance(nullptr, IID_IQuarn5About, about.ReceiveVoid()) == S_OK);
    ComPtr<IDispatch> dispatch;
    CHECK(about.As(&dispatch) == S_OK);
    about.Reset();
    dispatch.Reset();
    factory.Reset();
    CHECK(DllCanUnloadNow() == S_OK);
    // Linked by its plain name too; a command line it does not know changes nothing.
    CHECK(DllInstall(TRUE, L"unknown") == E_INVALIDARG);
}

TEST_CASE("The kit's type library describes the identifiers of the kit's header") {
    ComPtr<ITypeLib> library;
    REQUIRE(LoadTypeLibEx(L"quarnver.tlb", REGKIND_NONE, library.Receive()) == S_OK);
    TLIBATTR* attributes = nullptr;
    REQUIRE(library->GetLibAttr(&attributes) == S_OK);
    CHECK(IsEqualGUID(attributes->guid, LIBID_QUARNVER));
    library->ReleaseTLibAttr(attributes);

    const struct {
        const GUID* guid;
        TYPEKIND kind;
    } types[] = {
        {&IID_IQuarn5Logon, TKIND_DISPATCH},  // a dual interface is found as its dispatch side
        {&IID_IQuarn5About, TKIND_DISPATCH},
        {&CLSID_Quarn5Logon, TKIND_COCLASS},
        {&CLSID_Quarn5About, TKIND_COCLASS},
    };
    for (const auto& type : types) {
        ComPtr<ITypeInfo> info;
        REQUIRE(library->GetTypeInfoOfGuid(*type.guid, info.Receive()) == S_OK);
        TYPEATTR* typeAttributes = nullptr;
        REQUIRE(info->GetTypeAttr(&typeAttributes) == S_OK);
        CHECK(typeAttributes->typekind == type.kind);
        info->ReleaseTypeAttr(typeAttributes);
    }
}
