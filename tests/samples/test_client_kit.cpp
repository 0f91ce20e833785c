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
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "common/com_ptr.h"
#include "common/little_endian.h"
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

// A PE image's bytes, read field by field ("PE Format"); a field past the end
// fails the test.
struct PeFile {
    std::vector<uint8_t> bytes;
    uint32_t U8(size_t at) const { return at < bytes.size() ? bytes[at] : Fail(at); }
    uint32_t U16(size_t at) const { return at + 2 <= bytes.size() ? GetU16(&bytes[at]) : Fail(at); }
    uint32_t U32(size_t at) const { return at + 4 <= bytes.size() ? GetU32(&bytes[at]) : Fail(at); }
    static uint32_t Fail(size_t at) { FAIL("a field past the end of the file, at " << at); return 0; }
    size_t FileHeader() const { return U32(0x3C) + 4; }  // after "PE\0\0"
    size_t OptionalHeader() const { return FileHeader() + 20; }
    size_t SectionTable() const { return OptionalHeader() + U16(FileHeader() + 16); }
    uint32_t SectionCount() const { return U16(FileHeader() + 2); }
    // The file offset of a relative virtual address, in the section that holds it.
    size_t Offset(uint32_t rva) const {
        size_t section = SectionTable();
        for (uint32_t i = 0; i < SectionCount(); ++i, section += 40) {
            const uint32_t start = U32(section + 12), size = std::max(U32(section + 8), U32(section + 16));
            if (rva >= start && rva - start < size) return U32(section + 20) + (rva - start);
        }
        return Fail(rva);
    }
    std::string Text(size_t at, size_t limit = SIZE_MAX) const {
        std::string text;
        for (; text.size() < limit && U8(at) != 0; ++at) text += static_cast<char>(bytes[at]);
        return text;
    }
};

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
TEST_CASE("The package's DLL declares ASLR, DEP and its exception handling, and imports system DLLs only") {
    const PeFile dll{ReadFileBytes("quarnver.dll")};
    REQUIRE(dll.U32(dll.FileHeader() - 4) == 0x4550);
    const size_t optional = dll.OptionalHeader();
    const bool pe32Plus = dll.U16(optional) == 0x20B;
    CHECK(pe32Plus == (sizeof(void*) == 8));  // the package's bitness is the test's
    const uint32_t dllCharacteristics = dll.U16(optional + 70);
    const size_t directories = optional + (pe32Plus ? 112 : 96);
    INFO("DllCharacteristics " << dllCharacteristics);
    CHECK((dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE));
    CHECK((dll.U16(dll.FileHeader() + 18) & IMAGE_FILE_RELOCS_STRIPPED) == 0);
    CHECK(dll.U32(directories + 8 * IMAGE_DIRECTORY_ENTRY_BASERELOC + 4) > 0);
    CHECK((dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT));
    if (pe32Plus) {
        CHECK((dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA));
        CHECK((dll.U16(dll.FileHeader() + 18) & IMAGE_FILE_LARGE_ADDRESS_AWARE));  // which high entropy needs
        CHECK(dll.U32(optional + 28) > 0);  // the image base's upper half: above 4 GB
    } else {
        CHECK((dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH));
    }
    size_t section = dll.SectionTable();
    for (uint32_t i = 0; i < dll.SectionCount(); ++i, section += 40) {
        const uint32_t flags = dll.U32(section + 36);
        INFO("section " << dll.Text(section, 8) << ": " << flags);
        CHECK_FALSE(((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_EXECUTE)));
        CHECK_FALSE(((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_SHARED)));
    }
    wchar_t system[MAX_PATH];
    REQUIRE(GetSystemDirectoryW(system, MAX_PATH) > 0);
    const uint32_t imports = dll.U32(directories + 8 * IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (size_t entry = dll.Offset(imports); dll.U32(entry + 12) != 0; entry += 20) {
        const std::string name = dll.Text(dll.Offset(dll.U32(entry + 12)));
        INFO(name);
        const std::wstring path = std::wstring(system) + L"\\" + Utf8ToWide(name.c_str());
        CHECK(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    }
}

TEST_CASE("The symbol file shows the DLL's code built with the stack protector") {
    // Linked with unreferenced sections left out: the failure routine is in
    // the image only when protected functions call it.
    const PeFile symbols{ReadFileBytes(QUARN_SYMBOL_FILE)};
    const size_t table = symbols.U32(symbols.FileHeader() + 8), count = symbols.U32(symbols.FileHeader() + 12);
    const size_t strings = table + 18 * count;
    const std::string wanted = sizeof(void*) == 8 ? "__stack_chk_fail" : "___stack_chk_fail";
    bool found = false;
    for (size_t i = 0; i < count && !found; i += 1 + symbols.U8(table + 18 * i + 17)) {
        const size_t symbol = table + 18 * i;
        const std::string name =
            symbols.U32(symbol) == 0 ? symbols.Text(strings + symbols.U32(symbol + 4)) : symbols.Text(symbol, 8);
        found = name == wanted && static_cast<int16_t>(symbols.U16(symbol + 12)) > 0;  // defined in a section
    }
    CHECK(found);
}
#endif
