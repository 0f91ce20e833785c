// The client kit in <build>/kit as a client developer uses it: this program
// is compiled with the kit's header and identifiers only, links the kit's
// import library, and runs in the kit folder so that the kit's quarnver.dll
// is the one loaded. Built a second time from an unpacked release package,
// it runs in the package's folder (QUARN_CLIENT_FOLDER names the folder).
#include <doctest/doctest.h>
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <cstdio>
#include <string>
#include <vector>
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
    const std::wstring suffix = L"\\" + Utf8ToWide(QUARN_CLIENT_FOLDER) + L"\\quarnver.dll";
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

TEST_CASE("The kit's DLL carries the build's version in its version resource") {
    unsigned parts[3] = {};
    REQUIRE(std::sscanf(QUARN_VERSION, "%u.%u.%u", &parts[0], &parts[1], &parts[2]) == 3);

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(L"quarnver.dll", &handle);
    REQUIRE(size > 0);
    std::vector<BYTE> block(size);
    REQUIRE(GetFileVersionInfoW(L"quarnver.dll", handle, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    REQUIRE(length >= sizeof *fixed);
    CHECK(fixed->dwSignature == VS_FFI_SIGNATURE);
    for (const DWORD version : {fixed->dwFileVersionMS, fixed->dwProductVersionMS}) {
        CHECK(HIWORD(version) == parts[0]);
        CHECK(LOWORD(version) == parts[1]);
    }
    for (const DWORD version : {fixed->dwFileVersionLS, fixed->dwProductVersionLS}) {
        CHECK(HIWORD(version) == parts[2]);
        CHECK(LOWORD(version) == 0);
    }
    CHECK((fixed->dwFileType) == VFT_DLL);

    // The texts, in the block the translation table names.
    DWORD* translation = nullptr;
    REQUIRE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                           &length));
    REQUIRE(length >= sizeof *translation);
    CHECK(LOWORD(*translation) == 0x0409);
    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", LOWORD(*translation), HIWORD(*translation));
    const struct {
        const wchar_t* name;
        std::wstring expected;  // empty: any text that is not empty
    } values[] = {
        {L"FileVersion", Utf8ToWide(QUARN_VERSION)},
        {L"ProductVersion", Utf8ToWide(QUARN_VERSION)},
        {L"OriginalFilename", L"quarnver.dll"},
        {L"CompanyName", L""},
        {L"FileDescription", L""},
        {L"ProductName", L""},
        {L"LegalCopyright", L""},
    };
    for (const auto& value : values) {
        INFO(WideToUtf8(value.name));
        wchar_t* text = nullptr;
        REQUIRE(VerQueryValueW(block.data(), (prefix + std::wstring(value.name)).c_str(),
                               reinterpret_cast<void**>(&text), &length));
        REQUIRE(text);
        const std::wstring found(text);
        if (value.expected.empty())
            CHECK_FALSE(found.empty());
        else
            CHECK(found == value.expected);
    }
}
