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
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Program Files\\Velmora\\Setup\\", L"C:\\Program Files\\Velmora\\Setup\\"},
        {L"C:/Velmora/Setup/", L"C:/Velmora/Setup/"},
        {L"C:\\Velmora\\Setup", L"C:\\Velmora\\Setup\\"},
        {L"D:", L"D:\\"},
        {L"", L""},
        // Names in any script arrive unchanged, whatever the ANSI code page.
        {L"C:\\Программы\\Велмора", L"C:\\Программы\\Велмора\\"},
        {L"C:\\Zoë Ωsetup", L"C:\\Zoë Ωsetup\\"},
        {L"C:\\表示ソ", L"C:\\表示ソ\\"},
    };
    for (const auto& c : cases) {
        CAPTURE(WideToUtf8(c.expected));
        SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", c.stored);
        CHECK(GetProductFolder(L"Setup") == c.expected);
    }
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Root", L"C:\\Velmora");
    CHECK(GetProductFolder() == L"C:\\Velmora\\");
    CHECK(GetProductFolder(L"Missing") == L"");
}

TEST_CASE("a standard user, refused write access to the machine's keys, still reads the folders") {
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", L"C:\\Velmora\\Setup");
    WriteRefusingRegistry standardUser(GetModuleHandleW(nullptr), HKEY_LOCAL_MACHINE);
    REQUIRE(standardUser.Patched());
    CHECK(GetProductFolder(L"Setup") == L"C:\\Velmora\\Setup\\");
}

TEST_CASE("no folder is recorded when the key lacks the value or is missing") {
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    CHECK(GetProductFolder(L"Setup") == L"");
    CHECK(GetProductFolder() == L"");
    CHECK_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kFolders));
    SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Root", L"C:\\Velmora");
    CHECK(GetProductFolder(L"Setup") == L"");
}

TEST_CASE("AddBackslash and AppendPath give one separator between folder and name") {
    static const struct {
        const wchar_t* folder;
        const wchar_t* withSeparator;
        const wchar_t* joined;  // folder joined with "x.acr"
    } cases[] = {
        {L"", L"", L"x.acr"},
        {L"C:", L"C:\\", L"C:\\x.acr"},
        {L"C:\\Setup", L"C:\\Setup\\", L"C:\\Setup\\x.acr"},
        {L"C:\\Setup\\", L"C:\\Setup\\", L"C:\\Setup\\x.acr"},
        {L"C:/Setup/", L"C:/Setup/", L"C:/Setup/x.acr"},
        // In code page 932 "Ы" is 0x84 0x5C: its second byte is no separator.
        {L"C:\\ЧАСЫ", L"C:\\ЧАСЫ\\", L"C:\\ЧАСЫ\\x.acr"},
        {L"C:\\ЧАСЫ\\", L"C:\\ЧАСЫ\\", L"C:\\ЧАСЫ\\x.acr"},
    };
    for (const auto& c : cases) {
        CAPTURE(WideToUtf8(c.folder));
        std::wstring path = c.folder;
        AddBackslash(path);
        CHECK(path == c.withSeparator);
        std::wstring joined = c.folder;
        std::wstring& result = AppendPath(joined, L"x.acr");
        CHECK(&result == &joined);
        CHECK(joined == c.joined);
    }
}

#ifdef _WIN64
TEST_CASE("the 64-bit library finds the folders the 32-bit installer recorded in the 32-bit view") {
    // A 64-bit process reaches the 32-bit view below Wow6432Node.
    const wchar_t kFolders32[] = L"Software\\Wow6432Node\\Velmora\\QUARN 5\\Folders";
    KeyBackup backup(HKEY_LOCAL_MACHINE, kFolders);
    KeyBackup backup32(HKEY_LOCAL_MACHINE, kFolders32);
    static const struct {
        const char* name;
        const wchar_t* own;    // in the 64-bit view; null: missing
        const wchar_t* other;  // in the 32-bit view; null: missing
        const wchar_t* expected;
    } cases[] = {
        {"only in the 32-bit view", nullptr, L"C:\\Velmora32\\Setup", L"C:\\Velmora32\\Setup\\"},
        {"in both views", L"C:\\Velmora64\\Setup", L"C:\\Velmora32\\Setup", L"C:\\Velmora64\\Setup\\"},
        {"empty in the 64-bit view", L"", L"C:\\Velmora32\\Setup", L""},
        {"in neither view", nullptr, nullptr, L""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        DeleteTree(HKEY_LOCAL_MACHINE, kFolders);
        DeleteTree(HKEY_LOCAL_MACHINE, kFolders32);
        if (c.own) SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Setup", c.own);
        if (c.other) SetRegString(HKEY_LOCAL_MACHINE, kFolders32, L"Setup", c.other);
        // The key present in the 64-bit view without the value counts as missing there.
        if (!c.own) SetRegString(HKEY_LOCAL_MACHINE, kFolders, L"Root", L"C:\\Velmora64");
        CHECK(GetProductFolder(L"Setup") == c.expected);
    }
}
#endif
