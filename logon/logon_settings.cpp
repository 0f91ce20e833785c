#include "logon/logon_settings.h"
#include "common/registry_key.h"
#include "logon/logon_credential.h"
#include "logon/password_policy.h"

namespace LogonSettings {

const wchar_t kKeyPath[] = L"Software\\Velmora\\QUARN 5\\Logon";

namespace {

const wchar_t kUser[] = L"User";
const wchar_t kPassword[] = L"Password";
const wchar_t kServer[] = L"Server";
const wchar_t kLevel[] = L"Level";

std::wstring WindowsUserName() {
    wchar_t name[512] = {};
    DWORD size = ARRAYSIZE(name);
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

std::wstring ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameW(name, &size) ? std::wstring(name) : std::wstring();
}

bool OpenForReading(RegistryKey& key) { return key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_QUERY_VALUE); }

bool CreateForWriting(RegistryKey& key) {
    return key.Create(HKEY_CURRENT_USER, kKeyPath, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE);
}

// A stored empty text counts as missing: the fallback takes its place.
std::wstring ReadNonEmpty(const wchar_t* name, std::wstring fallback) {
    RegistryKey key;
    if (!OpenForReading(key)) return fallback;
    std::wstring text = key.ReadString(name, L"");
    return text.empty() ? fallback : text;
}

bool WriteText(const wchar_t* name, const std::wstring& text) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(name, text);
}

}  // namespace

std::wstring ReadUser() { return ReadNonEmpty(kUser, WindowsUserName()); }

bool WriteUser(const std::wstring& user) { return WriteText(kUser, user); }

SecretString ReadPassword() {
    RegistryKey key;
    if (!OpenForReading(key)) return SecretString();
    return TakeSecret(key.ReadString(kPassword, L""));
}

bool WritePassword(const SecretString& password) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(kPassword, password.c_str());
}

namespace {

bool RegistryHoldsPassword() {
    RegistryKey key;
    return OpenForReading(key) && key.GetValueType(kPassword) != 0;
}

bool DeleteRegistryPassword() {
    RegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_SET_VALUE)) return key.LastError() == ERROR_FILE_NOT_FOUND;
    return key.DeleteValue(kPassword);
}

}  // namespace

SecretString RecallPassword(const std::wstring& user) {
    using PasswordPolicy::PasswordStore;
    SecretString password;
    switch (PasswordPolicy::Current()) {
    case PasswordStore::Nowhere:
        return password;
    case PasswordStore::CredentialManager:
        if (RegistryHoldsPassword()) {
            password = ReadPassword();
            if (LogonCredential::Write(user, password)) (void)DeleteRegistryPassword();
            return password;
        }
        (void)LogonCredential::Read(&password);
        return password;
    case PasswordStore::Registry:
        break;
    }
    return ReadPassword();
}

void RememberPassword(const std::wstring& user, const SecretString& password) {
    using PasswordPolicy::PasswordStore;
    switch (PasswordPolicy::Current()) {
    case PasswordStore::Nowhere:
        (void)DeleteRegistryPassword();
        (void)LogonCredential::Delete();
        return;
    case PasswordStore::CredentialManager:
        if (LogonCredential::Write(user, password)) (void)DeleteRegistryPassword();
        return;
    case PasswordStore::Registry:
        (void)WritePassword(password);
        return;
    }
}

std::wstring ReadServer() { return ReadNonEmpty(kServer, ThisComputerName()); }

bool WriteServer(const std::wstring& server) { return WriteText(kServer, server); }

LONG ReadLevel() {
    RegistryKey key;
    if (!OpenForReading(key)) return 0;
    return static_cast<LONG>(key.ReadDWORD(kLevel, 0));
}

bool WriteLevel(LONG level) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteDWORD(kLevel, static_cast<DWORD>(level));
}

}  // namespace LogonSettings
