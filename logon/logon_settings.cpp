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

// Readers of one value from a key opened for reading, or from a closed key
// when there is none: a missing value gives the default. A stored empty text
// counts as missing for User and Server.
std::wstring UserFrom(RegistryKey& key) {
    std::wstring text = key.IsOpen() ? key.ReadString(kUser, L"") : std::wstring();
    return text.empty() ? WindowsUserName() : text;
}
std::wstring ServerFrom(RegistryKey& key) {
    std::wstring text = key.IsOpen() ? key.ReadString(kServer, L"") : std::wstring();
    return text.empty() ? ThisComputerName() : text;
}
SecretString PasswordFrom(RegistryKey& key) {
    return key.IsOpen() ? TakeSecret(key.ReadString(kPassword, L"")) : SecretString();
}
LONG LevelFrom(RegistryKey& key) { return key.IsOpen() ? static_cast<LONG>(key.ReadDWORD(kLevel, 0)) : 0; }

// The remembered password from where the policy keeps it; key is the Logon
// key opened for reading, or closed.
SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user);

bool WriteText(const wchar_t* name, const std::wstring& text) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(name, text);
}

}  // namespace

Remembered ReadRemembered() {
    RegistryKey key;
    (void)OpenForReading(key);
    Remembered remembered;
    remembered.user = UserFrom(key);
    remembered.password = RecallPasswordFrom(key, remembered.user);
    remembered.server = ServerFrom(key);
    remembered.level = LevelFrom(key);
    return remembered;
}

std::wstring ReadUser() {
    RegistryKey key;
    (void)OpenForReading(key);
    return UserFrom(key);
}

bool WriteUser(const std::wstring& user) { return WriteText(kUser, user); }

SecretString ReadPassword() {
    RegistryKey key;
    (void)OpenForReading(key);
    return PasswordFrom(key);
}

bool WritePassword(const SecretString& password) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(kPassword, password.c_str());
}

namespace {

bool DeleteRegistryPassword() {
    RegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_SET_VALUE)) return key.LastError() == ERROR_FILE_NOT_FOUND;
    return key.DeleteValue(kPassword);
}

}  // namespace

SecretString RecallPassword(const std::wstring& user) {
    RegistryKey key;
    (void)OpenForReading(key);
    return RecallPasswordFrom(key, user);
}

namespace {
SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user) {
    using PasswordPolicy::PasswordStore;
    SecretString password;
    switch (PasswordPolicy::Current()) {
    case PasswordStore::Nowhere:
        return password;
    case PasswordStore::CredentialManager:
        if (key.IsOpen() && key.GetValueType(kPassword) != 0) {
            password = PasswordFrom(key);
            if (LogonCredential::Write(user, password)) (void)DeleteRegistryPassword();
            return password;
        }
        (void)LogonCredential::Read(&password);
        return password;
    case PasswordStore::Registry:
        break;
    }
    return PasswordFrom(key);
}
}  // namespace

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

std::wstring ReadServer() {
    RegistryKey key;
    (void)OpenForReading(key);
    return ServerFrom(key);
}

bool WriteServer(const std::wstring& server) { return WriteText(kServer, server); }

LONG ReadLevel() {
    RegistryKey key;
    (void)OpenForReading(key);
    return LevelFrom(key);
}

bool WriteLevel(LONG level) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteDWORD(kLevel, static_cast<DWORD>(level));
}

}  // namespace LogonSettings
