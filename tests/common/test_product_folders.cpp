#include <doctest/doctest.h>
#include "common/product_folders.h"
#include "import_patch.h"
#include "test_support.h"

namespace {
const wchar_t kFolders[] = L"Software\\Velmora\\QUARN 5\\Folders";
}

TEST_CASE("GetProductFolder gives the recorded folder ending in a separator") {
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    static const struct {
        const wchar_t* stored;
        const char* expected;
    } cases[] = {
        {L"C:\\Program Files\\Velmora\\Setup\\", "C:\\Program Files\\Velmora\\Setup\\"},
        {L"C:/Velmora/Setup/", "C:/Velmora/Setup/"},
        {L"C:\\Velmora\\Setup", "C:\\Velmora\\Setup\\"},
        {L"D:", "D:\\"},
        {L"", ""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.expected);
        SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", c.stored);
        CHECK(GetProductFolder("Setup") == c.expected);
    }
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Root", L"C:\\Velmora");
    CHECK(GetProductFolder() == "C:\\Velmora\\");
    CHECK(GetProductFolder("Missing") == "");

    // Cyrillic folder names arrive in the ANSI code page.
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", Utf8ToWide("C:\\Программы\\Велмора"));
    CHECK(GetProductFolder("Setup") == Utf8ToAnsi("C:\\Программы\\Велмора\\"));
}

TEST_CASE("a standard user, refused write access to the machine's keys, still reads the folders") {
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", L"C:\\Velmora\\Setup");
    WriteRefusingRegistry standardUser(GetModuleHandleW(nullptr), HKEY_LOCAL_MACHINE);
    REQUIRE(standardUser.Patched());
    CHECK(GetProductFolder("Setup") == "C:\\Velmora\\Setup\\");
}

TEST_CASE("no folder is recorded when the key lacks the value or is missing") {
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    CHECK(GetProductFolder("Setup") == "");
    CHECK(GetProductFolder() == "");
    CHECK_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kFolders));
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Root", L"C:\\Velmora");
    CHECK(GetProductFolder("Setup") == "");
}

TEST_CASE("AddBackslash and AppendPath give one separator between folder and name") {
    static const struct {
        const char* folder;
        const char* withSeparator;
        const char* joined;  // folder joined with "x.acr"
    } cases[] = {
        {"", "", "x.acr"},
        {"C:", "C:\\", "C:\\x.acr"},
        {"C:\\Setup", "C:\\Setup\\", "C:\\Setup\\x.acr"},
        {"C:\\Setup\\", "C:\\Setup\\", "C:\\Setup\\x.acr"},
        {"C:/Setup/", "C:/Setup/", "C:/Setup/x.acr"},
        // In code page 932 "Ы" is 0x84 0x5C: its second byte is no separator.
        {"C:\\ЧАСЫ", "C:\\ЧАСЫ\\", "C:\\ЧАСЫ\\x.acr"},
        {"C:\\ЧАСЫ\\", "C:\\ЧАСЫ\\", "C:\\ЧАСЫ\\x.acr"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.folder);
        std::string path = Utf8ToAnsi(c.folder);
        AddBackslash(path);
        CHECK(path == Utf8ToAnsi(c.withSeparator));
        std::string joined = Utf8ToAnsi(c.folder);
        std::string& result = AppendPath(joined, "x.acr");
        CHECK(&result == &joined);
        CHECK(joined == Utf8ToAnsi(c.joined));
    }
}
