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
    const std::string path = scratch.PathA() + "\\One\\Two\\Three";
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
    const std::string present = scratch.PathA() + "\\Present";
    const std::string missing = scratch.PathA() + "\\Missing";
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
    CHECK(key.GetValueType("x") == 0);
    CHECK(key.GetValueLength("x") == 0);
    CHECK(key.ReadString("x", "fallback") == "fallback");
    CHECK(key.ReadDWORD("x", 77) == 77);
    CHECK_FALSE(key.WriteString("x", "text"));
    CHECK(key.LastError() != ERROR_SUCCESS);
    // Nothing was open: Close answers with the last recorded result.
    CHECK_FALSE(key.Close());
    CHECK(key.Open(HKEY_CURRENT_USER, present.c_str()));
    CHECK(key.Close());
}

TEST_CASE("reopening closes the key held before") {
    ScratchKey scratch(L"RegistryKeyReopen");
    const std::string first = scratch.PathA() + "\\First";
    const std::string second = scratch.PathA() + "\\Second";
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
    REQUIRE(key.WriteDWORD("Marker", 2));
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
    const std::string path = scratch.PathA();
    RegistryKey source;
    REQUIRE(source.Create(HKEY_CURRENT_USER, path.c_str()));
    const HKEY held = source.Handle();
    RegistryKey target(std::move(source));
    CHECK(source.Handle() == nullptr);
    CHECK(source.KeyPath().empty());
    CHECK(target.Handle() == held);
    CHECK(target.KeyPath() == path);
    CHECK(target.WriteDWORD("Moved", 1));
    CHECK(HandleIsOpen(held));
}

TEST_CASE("strings: defaults for missing values, an empty text is stored as one zero byte") {
    ScratchKey scratch(L"RegistryKeyStrings");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.PathA().c_str()));

    CHECK(key.ReadString("Missing", "fallback") == "fallback");
    CHECK(key.LastError() == ERROR_FILE_NOT_FOUND);
    CHECK(key.ReadString("Missing") == "");

    REQUIRE(key.WriteString("Empty", ""));
    CHECK(key.GetValueType("Empty") == REG_SZ);
    CHECK(key.GetValueLength("Empty") == 1);
    CHECK(key.ReadString("Empty", "fallback") == "");

    REQUIRE(key.WriteString("Text", "Velmora"));
    CHECK(key.GetValueLength("Text") == 8);
    CHECK(key.ReadString("Text", "fallback") == "Velmora");
    CHECK(ReadRegString(HKEY_CURRENT_USER, scratch.Path(), L"Text") == L"Velmora");

    // Text in the ANSI code page arrives in the registry as the same characters.
    const std::string cyrillic = Utf8ToAnsi("Сервер перевода");
    REQUIRE(key.WriteString("Cyrillic", cyrillic));
    CHECK(key.ReadString("Cyrillic") == cyrillic);
    CHECK(ReadRegString(HKEY_CURRENT_USER, scratch.Path(), L"Cyrillic") == Utf8ToWide("Сервер перевода"));

    // Whatever the type, the data is taken as text up to its first zero byte.
    const uint8_t bytes[] = {'a', 'b', 0, 'c'};
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Binary", REG_BINARY, bytes, sizeof bytes);
    CHECK(key.ReadString("Binary", "fallback") == "ab");
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"NoData", REG_BINARY, bytes, 0);
    CHECK(key.ReadString("NoData", "fallback") == "fallback");
}

TEST_CASE("ReadDWORD takes REG_DWORD and REG_BINARY of up to four bytes") {
    ScratchKey scratch(L"RegistryKeyDword");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.PathA().c_str()));

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
    CHECK(key.ReadDWORD("Dword", 0xDEFA017) == 300);
    CHECK(key.LastError() == ERROR_SUCCESS);
    for (const auto& c : cases) {
        char name[16] = {};
        WideCharToMultiByte(CP_ACP, 0, c.name, -1, name, sizeof name, nullptr, nullptr);
        CAPTURE(name);
        CHECK(key.ReadDWORD(name, 0xDEFA017) == c.expected);
    }
    CHECK(key.ReadDWORD("Missing", 0xDEFA017) == 0xDEFA017);
    CHECK(key.LastError() == ERROR_FILE_NOT_FOUND);

    // Data of another type longer than four bytes gives the default.
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"LongText", REG_SZ, L"123456", sizeof(L"123456"));
    CHECK(key.ReadDWORD("LongText", 0xDEFA017) == 0xDEFA017);

    REQUIRE(key.WriteDWORD("Written", 0x89ABCDEF));
    DWORD type = 0;
    std::vector<uint8_t> data;
    REQUIRE(ReadRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Written", &type, &data));
    CHECK(type == REG_DWORD);
    CHECK(data == std::vector<uint8_t>{0xEF, 0xCD, 0xAB, 0x89});
    CHECK(key.ReadDWORD("Written", 0) == 0x89ABCDEF);
}

TEST_CASE("ReadBinary reads at most the buffer and reports the bytes read") {
    ScratchKey scratch(L"RegistryKeyBinary");
    RegistryKey key;
    REQUIRE(key.Create(HKEY_CURRENT_USER, scratch.PathA().c_str()));
    const uint8_t bytes[] = {9, 8, 7};
    SetRegValue(HKEY_CURRENT_USER, scratch.Path(), L"Three", REG_BINARY, bytes, sizeof bytes);

    uint8_t buffer[8];
    memset(buffer, 0xCC, sizeof buffer);
    CHECK(key.ReadBinary("Three", buffer, sizeof buffer) == 3);
    CHECK(buffer[0] == 9);
    CHECK(buffer[2] == 7);
    CHECK(buffer[3] == 0xCC);
    CHECK(key.ReadBinary("Three", buffer, 2) == 0);  // too small
    CHECK(key.ReadBinary("Missing", buffer, sizeof buffer) == 0);
    CHECK(key.GetValueType("Three") == REG_BINARY);
    CHECK(key.GetValueLength("Three") == 3);
}
