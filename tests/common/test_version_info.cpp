#include <doctest/doctest.h>
#include <cstring>
#include "common/ansi_string.h"
#include "common/version_info.h"
#include "test_support.h"

namespace {

// A program built beside this test with a version resource of its own.
std::wstring ProgramBesideThis(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

}  // namespace

TEST_CASE("the module's own version: FileVersion \"1.0\" without a trailing zero byte") {
    VersionInfo info;
    REQUIRE(info.LoadFromModule(nullptr));
    CHECK(info.FixedInfo().dwSignature == VS_FFI_SIGNATURE);
    CHECK(info.FixedInfo().dwFileVersionMS == 0x00010000);
    const std::wstring version = info.GetString(L"FileVersion", 0x040904E4);
    CHECK(version == L"1.0");
    CHECK(version.size() == 3);
    CHECK(info.GetString(L"Missing", 0x040904E4) == L"");
}

TEST_CASE("string values: the asked block first, then the same language with code page 1200") {
    static const struct {
        const wchar_t* program;
        DWORD languageCodePage;
        const wchar_t* expected;  // "" when not found
    } cases[] = {
        {L"version_040904e4.exe", 0x040904E4, L"4.1.0.1252"},
        {L"version_040904e4.exe", 0x040904B0, L""},  // already 1200: the 1252 block is not tried
        {L"version_040904e4.exe", 0x041904E4, L""},
        {L"version_040904b0.exe", 0x040904E4, L"4.2.0.1200"},
        {L"version_040904b0.exe", 0x040904B0, L"4.2.0.1200"},
        {L"version_040904b0.exe", 0x041904E4, L""},
        {L"version_041904b0.exe", 0x040904E4, L""},  // no other language is tried
        {L"version_041904b0.exe", 0x041904E4, L"4.3.0.1049"},
        {L"version_041904b0.exe", 0x041904B0, L"4.3.0.1049"},
    };
    for (const auto& c : cases) {
        CAPTURE(WideToUtf8(c.program));
        CAPTURE(c.languageCodePage);
        VersionInfo info;
        REQUIRE(info.LoadFromFile(ProgramBesideThis(c.program).c_str()));
        CHECK(info.GetString(L"FileVersion", c.languageCodePage) == c.expected);
    }
}

TEST_CASE("Cyrillic values arrive unchanged") {
    VersionInfo info;
    REQUIRE(info.LoadFromFile(ProgramBesideThis(L"version_041904b0.exe").c_str()));
    CHECK(info.GetString(L"ProductName", 0x041904B0) == L"КВАРН 5");
    CHECK(info.GetString(L"CompanyName", 0x041904B0) == L"Velmora");
}

TEST_CASE("values are sized and copied only when present and fitting") {
    VersionInfo info;
    REQUIRE(info.LoadFromFile(ProgramBesideThis(L"version_040904b0.exe").c_str()));
    CHECK(info.FixedInfo().dwFileVersionLS == 1200);
    CHECK(info.GetValueSize(L"\\VarFileInfo\\Translation") == 4);
    DWORD translation = 0xdeadbeef;
    REQUIRE(info.CopyValue(L"\\VarFileInfo\\Translation", &translation, sizeof translation));
    CHECK(translation == MAKELONG(0x409, 1200));

    uint8_t small[3];
    memset(small, 0xCC, sizeof small);
    CHECK_FALSE(info.CopyValue(L"\\VarFileInfo\\Translation", small, sizeof small));
    CHECK(small[0] == 0xCC);
    CHECK(info.GetValueSize(L"\\StringFileInfo\\040904E4\\FileVersion") == 0);
    CHECK_FALSE(info.CopyValue(L"\\StringFileInfo\\040904E4\\FileVersion", small, sizeof small));
    CHECK(info.GetValueSize(L"\\StringFileInfo\\040904B0\\FileVersion") > 0);
}

TEST_CASE("a file without version information does not load and holds nothing") {
    ScratchFolder folder("version_none");
    const std::string text = folder.File("plain.txt");
    REQUIRE(WriteFileBytes(text, {'n', 'o', ' ', 'r', 'e', 's', 'o', 'u', 'r', 'c', 'e'}));
    const std::wstring paths[] = {ProgramBesideThis(L"version_none.exe"), WideFromAnsi(text),
                                  WideFromAnsi(folder.File("missing.exe"))};
    for (const auto& path : paths) {
        CAPTURE(WideToUtf8(path));
        VersionInfo info;
        REQUIRE(info.LoadFromFile(ProgramBesideThis(L"version_040904e4.exe").c_str()));
        CHECK_FALSE(info.LoadFromFile(path.c_str()));
        CHECK_FALSE(info.IsLoaded());
        CHECK(info.GetValueSize(L"\\") == 0);
        CHECK(info.GetString(L"FileVersion", 0x040904E4) == L"");
    }
    VersionInfo info;
    CHECK_FALSE(info.LoadFromModule(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1230000))));
    CHECK(info.GetString(L"FileVersion", 0x040904E4) == L"");
}
