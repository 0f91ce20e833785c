#include <doctest/doctest.h>
#include <cstdint>
#include <vector>
#include "child_process.h"
#include "logon/logon_credential.h"
#include "logon/logon_settings.h"
#include "logon/logon_policy.h"
#include "import_patch.h"
#include "test_support.h"

namespace {

const wchar_t kVelmora[] = L"Software\\Velmora";
const wchar_t kLogon[] = L"Software\\Velmora\\QUARN 5\\Logon";

std::vector<uint8_t> StoredValue(const wchar_t* name, DWORD* type) {
    std::vector<uint8_t> data;
    *type = 0;
    ReadRegValue(HKEY_CURRENT_USER, kLogon, name, type, &data);
    return data;
}

// Names in the system's ANSI code page: Cyrillic on Russian systems, Western
// letters beyond ASCII elsewhere.
const wchar_t* LocalName() { return GetACP() == 1251 ? L"Иван Петров" : L"Zoë Ørsted"; }
const wchar_t* LocalServer() { return GetACP() == 1251 ? L"СЕРВЕР-1" : L"SÉRVEUR-1"; }

}  // namespace

TEST_CASE("the tests run under a Russian or a Western ANSI code page") {
    MESSAGE("ANSI code page ", GetACP());
    CHECK((GetACP() == 1251 || GetACP() == 1252));
}

TEST_CASE("with no key the readers give the defaults and create nothing") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    REQUIRE_FALSE(UserNameW().empty());
    REQUIRE_FALSE(ComputerNameW().empty());
    CHECK(LogonSettings::ReadUser() == UserNameW());
    CHECK(LogonSettings::ReadServer() == ComputerNameW());
    CHECK(LogonSettings::RecallPassword(L"").empty());
    CHECK(LogonSettings::ReadLevel() == 0);
    CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, kVelmora));
}

TEST_CASE("the first write creates the whole path; values round-trip") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    REQUIRE(LogonSettings::WriteLevel(3));
    CHECK(KeyExists(HKEY_CURRENT_USER, kLogon));
    DWORD type = 0;
    CHECK(StoredValue(L"Level", &type) == std::vector<uint8_t>{3, 0, 0, 0});
    CHECK(type == REG_DWORD);
    CHECK(LogonSettings::ReadLevel() == 3);
    REQUIRE(LogonSettings::WriteLevel(-2));
    CHECK(LogonSettings::ReadLevel() == -2);

    const std::wstring user = LocalName();
    const std::wstring server = LocalServer();
    REQUIRE(LogonSettings::WriteUser(user));
    REQUIRE(LogonSettings::WriteServer(server));
    LogonSettings::RememberPassword(L"", SecretString(L"secret"), LogonSettings::PasswordOrigin::Supplied);
    CHECK(LogonSettings::ReadUser() == user);
    CHECK(LogonSettings::ReadServer() == server);
    CHECK(LogonSettings::RecallPassword(L"") == L"secret");
    CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"User") == LocalName());
    CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"Password") == L"secret");
    StoredValue(L"Server", &type);
    CHECK(type == REG_SZ);

    // Names the code page cannot spell are stored as the same characters.
    for (const ScriptNames& names : kScriptNames) {
        CAPTURE(WideToUtf8(names.user));
        REQUIRE(LogonSettings::WriteUser(names.user));
        LogonSettings::RememberPassword(L"", SecretString(names.password), LogonSettings::PasswordOrigin::Supplied);
        REQUIRE(LogonSettings::WriteServer(names.server));
        CHECK(LogonSettings::ReadUser() == names.user);
        CHECK(LogonSettings::RecallPassword(L"") == names.password);
        CHECK(LogonSettings::ReadServer() == names.server);
        CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"User") == names.user);
        CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"Password") == names.password);
        CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"Server") == names.server);
        CHECK(StoredValue(L"Password", &type).size() == (wcslen(names.password) + 1) * sizeof(wchar_t));
        CHECK(type == REG_SZ);
    }
}

TEST_CASE("empty User and Server fall back to their defaults, an empty Password does not") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    LogonSettings::RememberPassword(L"", SecretString(L"before"), LogonSettings::PasswordOrigin::Supplied);
    REQUIRE(LogonSettings::WriteUser(L""));
    REQUIRE(LogonSettings::WriteServer(L""));
    LogonSettings::RememberPassword(L"", SecretString(L""), LogonSettings::PasswordOrigin::Supplied);
    DWORD type = 0;
    CHECK(StoredValue(L"User", &type).size() == sizeof(wchar_t));  // the terminating zero only
    CHECK(type == REG_SZ);
    CHECK(LogonSettings::ReadUser() == UserNameW());
    CHECK(LogonSettings::ReadServer() == ComputerNameW());
    CHECK(LogonSettings::RecallPassword(L"").empty());
    CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"Password").empty());
}

TEST_CASE("a password of every non-zero UTF-16 unit is stored and read back unit for unit") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    std::wstring password;
    for (unsigned unit = 1; unit <= 0xFFFF; ++unit) password += static_cast<wchar_t>(unit);
    LogonSettings::RememberPassword(L"", SecretString(password), LogonSettings::PasswordOrigin::Supplied);
    const std::wstring read(LogonSettings::RecallPassword(L""));
    CHECK(read.size() == password.size());
    CHECK(read == password);
}

TEST_CASE("Level from REG_BINARY: up to four bytes count, longer data gives 0") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    const uint8_t two[] = {0x06, 0x00};
    SetRegValue(HKEY_CURRENT_USER, kLogon, L"Level", REG_BINARY, two, sizeof two);
    CHECK(LogonSettings::ReadLevel() == 6);
    const uint8_t five[] = {0x06, 0, 0, 0, 0};
    SetRegValue(HKEY_CURRENT_USER, kLogon, L"Level", REG_BINARY, five, sizeof five);
    CHECK(LogonSettings::ReadLevel() == 0);

    REQUIRE(LogonSettings::WriteLevel(7));
    DWORD type = 0;
    CHECK(StoredValue(L"Level", &type) == std::vector<uint8_t>{7, 0, 0, 0});
    CHECK(type == REG_DWORD);
}

TEST_CASE("the settings read where the registry refuses write access; writers then fail") {
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    REQUIRE(LogonSettings::WriteUser(L"reader"));
    REQUIRE(LogonSettings::WriteServer(L"SERVER-R"));
    LogonSettings::RememberPassword(L"", SecretString(L"secret"), LogonSettings::PasswordOrigin::Supplied);
    REQUIRE(LogonSettings::WriteLevel(5));
    // A standard user's view of the machine's keys, and settings that the
    // user may read but not change.
    for (HKEY refused : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        CAPTURE(refused == HKEY_CURRENT_USER);
        WriteRefusingRegistry view(GetModuleHandleW(nullptr), refused);
        REQUIRE(view.Patched());
        CHECK(LogonSettings::ReadUser() == L"reader");
        CHECK(LogonSettings::ReadServer() == L"SERVER-R");
        CHECK(LogonSettings::RecallPassword(L"") == L"secret");
        CHECK(LogonSettings::ReadLevel() == 5);
    }
    WriteRefusingRegistry readOnly(GetModuleHandleW(nullptr), HKEY_CURRENT_USER);
    CHECK_FALSE(LogonSettings::WriteLevel(6));
    CHECK_FALSE(LogonSettings::WriteUser(L"changed"));
    CHECK(ReadRegString(HKEY_CURRENT_USER, kLogon, L"User") == L"reader");
}

// Run by the test below in the other bitness's copy of this program.
TEST_CASE("remembers the password in QUARN_PASSWORD_TO_REMEMBER for the other bitness to read" * doctest::skip()) {
    const wchar_t* password = _wgetenv(L"QUARN_PASSWORD_TO_REMEMBER");
    REQUIRE(password);
    REQUIRE(LogonPolicy::Current().passwords == LogonPolicy::PasswordStore::CredentialManager);
    LogonSettings::RememberPassword(L"другой", SecretString(std::wstring_view(password)), LogonSettings::PasswordOrigin::Supplied);
}

#ifdef QUARN_OTHER_BITNESS_SETTINGS_TEST
TEST_CASE("a password the other bitness keeps in Credential Manager is read here") {
    KeyBackup policies(HKEY_CURRENT_USER, L"Software\\Policies\\Velmora");
    KeyBackup backup(HKEY_CURRENT_USER, kVelmora);
    (void)LogonCredential::Delete();
    const DWORD on = 1;
    SetRegValue(HKEY_CURRENT_USER, LogonPolicy::kKeyPath, LogonPolicy::kUseCredentialManager, REG_DWORD, &on,
                sizeof on);
    const std::wstring password = L"пароль ✓ другой разрядности";
    SetEnvironmentVariableW(L"QUARN_PASSWORD_TO_REMEMBER", password.c_str());
    std::string output;
    const DWORD code = RunProcess("\"" QUARN_OTHER_BITNESS_SETTINGS_TEST "\" --no-skip --test-case=\"*other bitness to read*\"", &output);
    INFO(output);
    CHECK(code == 0);
    SecretString read;
    std::wstring user, comment;
    CHECK(LogonCredential::Read(&read, &user, &comment) == LogonCredential::Lookup::Found);
    CHECK((std::wstring(read) == password && user == L"другой"));
    CHECK(std::wstring(LogonSettings::RecallPassword(L"другой")) == password);
    (void)LogonCredential::Delete();
}
#endif
