// The client kit in <build>/kit as a client developer uses it: this program
// is compiled with the kit's header and identifiers only, links the kit's
// import library, and runs in the kit folder so that the kit's quarnver.dll
// is the one loaded. Built a second time from an unpacked release package,
// it runs in the package's folder (QUARN_CLIENT_FOLDER names the folder) and
// also checks the package's signature and symbol file.
#include <doctest/doctest.h>
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>
#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <algorithm>
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

#ifdef QUARN_UNSIGNED_DLL
namespace {

LONG VerifySignature(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {sizeof file};
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {sizeof data};
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    (void)WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);  // only frees the state
    return result;
}

}  // namespace

TEST_CASE("The package's DLL carries an Authenticode signature of its own bytes") {
    // Under Wine the chain is not checked: a throwaway certificate verifies too.
    CHECK(VerifySignature(L"quarnver.dll") == ERROR_SUCCESS);

    std::vector<uint8_t> bytes = ReadFileBytes("quarnver.dll");
    REQUIRE(bytes.size() > 4096);
    bytes[bytes.size() / 4] ^= 0x01;  // inside the code
    ScratchFolder folder("quarn_signature");
    REQUIRE(WriteFileBytes(folder.File("changed.dll"), bytes));
    CHECK(VerifySignature(Utf8ToWide(folder.File("changed.dll").c_str())) == TRUST_E_BAD_DIGEST);

    // The DLL before signing: the build's own, which the rest of the suite runs.
    CHECK(VerifySignature(Utf8ToWide(QUARN_UNSIGNED_DLL)) == TRUST_E_NOSIGNATURE);
}

TEST_CASE("The symbol package's file is the one the DLL's debug link names, by name and CRC-32") {
    const std::vector<uint8_t> dll = ReadFileBytes("quarnver.dll");
    const std::string link = "quarnver.dll.debug";
    const auto found = std::search(dll.begin(), dll.end(), link.c_str(), link.c_str() + link.size() + 1);
    REQUIRE(found != dll.end());
    // The name, its NUL, padding to four bytes, then the CRC-32 of the file.
    const size_t crcAt = (static_cast<size_t>(found - dll.begin()) + link.size() + 1 + 3) / 4 * 4;
    REQUIRE(crcAt + 4 <= dll.size());
    const DWORD linked = dll[crcAt] | dll[crcAt + 1] << 8 | dll[crcAt + 2] << 16 | static_cast<DWORD>(dll[crcAt + 3]) << 24;

    const std::vector<uint8_t> symbols = ReadFileBytes(QUARN_SYMBOL_FILE);
    REQUIRE(!symbols.empty());
    using Crc32 = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32");
    REQUIRE(static_cast<bool>(address));
    const auto crc32 = reinterpret_cast<Crc32>(reinterpret_cast<void*>(address));
    CHECK(crc32(0, symbols.data(), static_cast<INT>(symbols.size())) == linked);
}
#endif
