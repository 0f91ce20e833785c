#include <doctest/doctest.h>
#include <cstdint>
#include <cstring>
#include <vector>
#include "common/registry_key.h"
#include "test_support.h"

namespace {

// Whether a key handle still refers to an open key.
bool HandleIsOpen(HKEY key) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TEST_CASE("Create makes every missing key on the path and reports the disposition") {
    ScratchKey scratch(L"RegistryKeyCreate");
    const std::wstring path = scratch.Path() + L"\\One\\Two\\Three";
    RegistryKey key;
    DWORD disposition = 0xdeadbeef;
    REQUIRE(key.Create(HKEY_CURRENT_USER, path.c_str(), nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    CHECK(disposition == REG_CREATED_NEW_KEY);
    CHECK(key.LastError() == ERROR_SUCCESS);
    CHECK(key.KeyPath() == path);
    CHECK(key.Handle() != nullptr);
    CHECK(KeyExists(HKEY_CURRENT_USER, scratch.Path() + L"\\One\\Two\\Three"));

    RegistryKey again;
    disposition = 0xdeadbeef;
    REQUIRE(again.Create(HKEY_CURRENT_USER, path.c_str(), nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    CHECK(disposition == REG_OPENED_EXISTING_KEY);
}

TEST_CASE("Open of a missing key fails, records the error, stays closed and creates nothing") {
    ScratchKey scratch(L"RegistryKeyOpen");
    const std::wstring present = scratch.Path() + L"\\Present";
    const std::wstring missing = scratch.Path() + L"\\Missing";
    {
        RegistryKey maker;
        REQUIRE(maker.Create(HKEY_CURRENT_USER, present.c_str()));
    }
    RegistryKey key;
    REQUIRE(key.Open(HKEY_CURRENT_USER, present.c_str()));
    const HKEY held = key.Handle();

    CHECK_FALSE(key.Open(HKEY_CURRENT_USER, missing.c_str()));
    CHECK(key.LastError() == ERROR_FILE_NOT_FOUND);
    CHECK(key.Handle() == nullptr);
    CHECK(key.KeyPath().empty());
    CHECK_FALSE(HandleIsOpen(held));
    CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Path() + L"\\Missing"));

    // Value operations on the closed object fail and answer with defaults.
    CHECK(key.GetValueType(L"x") == 0);
    CHECK(key.GetValueLength(L"x") == 0);
    CHECK(key.ReadString(L"x", L"fallback") == L"fallback");
    CHECK(key.ReadDWORD(L"x", 77) == 77);
    CHECK_FALSE(key.WriteString(L"x", L"text"));
    CHECK(key.LastError() != ERROR_SUCCESS);
    // Nothing was open: Close answers with the last recorded result.
    CHECK_FALSE(key.Close());
    CHECK(key.Open(HKEY_CURRENT_USER, present.c_str()));
    CHECK(key.Close());
}

TEST_CASE("reopening closes the key held before") {
    ScratchKey scratch(L"RegistryKeyReopen");
    const std::wstring first = scratch.Path() + L"\\First";
    const std::wstring second = scratch.Path() + L"\\Second";
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, first.c_str()));
    REQUIRE(key.Create(HKEY_CURRENT_USER, second.c_str()));
    REQUIRE(key.Open(HKEY_CURRENT_USER, first.c_str()));
    const HKEY held = key.Handle();
    REQUIRE(HandleIsOpen(held));

    REQUIRE(key.Open(HKEY_CURRENT_USER, second.c_str(), KEY_READ | KEY_WRITE));
    // Either the old handle is gone, or the platform handed its number out
    // again, which it can only do once the old one was closed.
    CHECK((key.Handle() == held || !HandleIsOpen(held)));
    CHECK(key.KeyPath() == second);
    // The object now works on the second key.
    REQUIRE(key.WriteDWORD(L"Marker", 2));
    DWORD type = 0;
    std::vector<uint8_t> data;
    CHECK(ReadRegValue(HKEY_CURRENT_USER, scratch.Path() + L"\\Second", L"Marker", &type, &data));
    CHECK_FALSE(ReadRegValue(HKEY_CURRENT_USER, scratch.Path() + L"\\First", L"Marker", &type, &data));

    const HKEY last = key.Handle();
    CHECK(key.Close());
    CHECK(key.Handle() == nullptr);
    CHECK(key.KeyPath().empty());
    CHECK_FALSE(HandleIsOpen(last));
}

TEST_CASE("a moved key is owned by its new object only") {
    ScratchKey scratch(L"RegistryKeyMove");
    const std::wstring path = scratch.Path();
    RegistryKey source;
    REQUIRE(source.Create(HKEY_CURRENT_USER, path.c_str()));
    const HKEY held = source.Handle();
    RegistryKey target(std::move(source));
    CHECK(source.Handle() == nullptr);
    CHECK(source.KeyPath().empty());
    CHECK(target.Handle() == held);
    CHECK(target.KeyPath() == path);
    CHECK(target.WriteDWORD(L"Moved", 1));
    CHECK(HandleIsOpen(held));
}

TEST_CASE("strings: defaults for missing values, an empty text is stored as one zero byte") {
    ScratchKey scratch(L"RegistryKeyStrings");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.Path().c_str()));

    CHECK(key.ReadString(L"Missing", L"fallback") == L"fallback");
    CHECK(key.LastError() == ERROR_FILE_NOT_FOUND);
    CHECK(key.ReadString(L"Missing") == L"");

    REQUIRE(key.WriteString(L"Empty", L""));
    CHECK(key.GetValueType(L"Empty") == REG_SZ);
    CHECK(key.GetValueLength(L"Empty") == sizeof(wchar_t));
    CHECK(key.ReadString(L"Empty", L"fallback") == L"");

    REQUIRE(key.WriteString(L"Text", L"Velmora"));
    CHECK(key.GetValueLength(L"Text") == 8 * sizeof(wchar_t));
    CHECK(key.ReadString(L"Text", L"fallback") == L"Velmora");
    CHECK(ReadRegString(HKEY_CURRENT_USER, scratch.Path(), L"Text") == L"Velmora");

    // Text in any script, whatever the ANSI code page, arrives in the registry
    // as the same characters and reads back unchanged.
    const std::wstring scripts = L"Сервер перевода Ωmega Zoë ✓";
    REQUIRE(key.WriteString(L"Scripts", scripts));
    CHECK(key.ReadString(L"Scripts") == scripts);
    CHECK(ReadRegString(HKEY_CURRENT_USER, scratch.Path(), L"Scripts") == scripts);

    // Data of another type is taken as text in the ANSI code page up to its
    // first zero byte.
    const uint8_t bytes[] = {'a', 'b', 0, 'c'};
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Binary", REG_BINARY, bytes, sizeof bytes);
    CHECK(key.ReadString(L"Binary", L"fallback") == L"ab");
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"NoData", REG_BINARY, bytes, 0);
    CHECK(key.ReadString(L"NoData", L"fallback") == L"fallback");
}

TEST_CASE("ReadDWORD takes REG_DWORD and REG_BINARY of up to four bytes") {
    ScratchKey scratch(L"RegistryKeyDword");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.Path().c_str()));

    const DWORD dword = 300;
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Dword", REG_DWORD, &dword, sizeof dword);
    static const struct {
        const wchar_t* name;
        std::vector<uint8_t> binary;
        DWORD expected;
    } cases[] = {
        {L"Two", {0x2C, 0x01}, 300},
        {L"Four", {0x2C, 0x01, 0x00, 0x01}, 16777516},
        {L"One", {0x2A}, 42},
        {L"Five", {1, 2, 3, 4, 5}, 0xDEFA017},
        {L"Empty", {}, 0xDEFA017},
    };
    for (const auto& c : cases) {
        SetRegValue(HKEY_CURRENT_USER, scratch.Path(), c.name, REG_BINARY, c.binary.data(),
                    static_cast<DWORD>(c.binary.size()));
    }
    CHECK(key.ReadDWORD(L"Dword", 0xDEFA017) == 300);
    CHECK(key.LastError() == ERROR_SUCCESS);
    for (const auto& c : cases) {
        CAPTURE(WideToUtf8(c.name));
        CHECK(key.ReadDWORD(c.name, 0xDEFA017) == c.expected);
    }
    CHECK(key.ReadDWORD(L"Missing", 0xDEFA017) == 0xDEFA017);
    CHECK(key.LastError() == ERROR_FILE_NOT_FOUND);

    // Data of another type longer than four bytes gives the default.
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"LongText", REG_SZ, L"123456", sizeof(L"123456"));
    CHECK(key.ReadDWORD(L"LongText", 0xDEFA017) == 0xDEFA017);

    REQUIRE(key.WriteDWORD(L"Written", 0x89ABCDEF));
    DWORD type = 0;
    std::vector<uint8_t> data;
    REQUIRE(ReadRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Written", &type, &data));
    CHECK(type == REG_DWORD);
    CHECK(data == std::vector<uint8_t>{0xEF, 0xCD, 0xAB, 0x89});
    CHECK(key.ReadDWORD(L"Written", 0) == 0x89ABCDEF);
}

TEST_CASE("ReadBinary reads at most the buffer and reports the bytes read") {
    ScratchKey scratch(L"RegistryKeyBinary");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.Path().c_str()));
    const uint8_t bytes[] = {9, 8, 7};
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Three", REG_BINARY, bytes, sizeof bytes);

    uint8_t buffer[8];
    memset(buffer, 0xCC, sizeof buffer);
    CHECK(key.ReadBinary(L"Three", buffer, sizeof buffer) == 3);
    CHECK(buffer[0] == 9);
    CHECK(buffer[2] == 7);
    CHECK(buffer[3] == 0xCC);
    CHECK(key.ReadBinary(L"Three", buffer, 2) == 0);  // too small
    CHECK(key.ReadBinary(L"Missing", buffer, sizeof buffer) == 0);
    CHECK(key.GetValueType(L"Three") == REG_BINARY);
    CHECK(key.GetValueLength(L"Three") == 3);
}
