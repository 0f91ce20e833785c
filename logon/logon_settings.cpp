#include "logon/logon_settings.h"
#include "common/registry_key.h"
#include "logon/logon_credential.h"
#include "logon/logon_policy.h"
#include "logon/plain_text_record.h"

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
// The default server is the one the organisation names, else this computer.
std::wstring ServerFrom(RegistryKey& key, const std::wstring& defaultServer = std::wstring()) {
    std::wstring text = key.IsOpen() ? key.ReadString(kServer, L"") : std::wstring();
    if (!text.empty()) return text;
    return defaultServer.empty() ? ThisComputerName() : defaultServer;
}
SecretString PasswordFrom(RegistryKey& key) {
    return key.IsOpen() ? TakeSecret(key.ReadString(kPassword, L"")) : SecretString();
}
LONG LevelFrom(RegistryKey& key) { return key.IsOpen() ? static_cast<LONG>(key.ReadDWORD(kLevel, 0)) : 0; }

// The remembered password from where the policy keeps it; key is the Logon
// key opened for reading, or closed.
SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user, LogonPolicy::PasswordStore store);

bool WriteText(const wchar_t* name, const std::wstring& text) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(name, text);
}

}  // namespace

Remembered ReadRemembered() {
    const LogonPolicy::Decisions policy = LogonPolicy::Current();
    RegistryKey key;
    (void)OpenForReading(key);
    Remembered remembered;
    remembered.user = UserFrom(key);
    remembered.password = RecallPasswordFrom(key, remembered.user, policy.passwords);
    remembered.serverFixed = policy.serverFixed;
    remembered.server = policy.serverFixed ? policy.server : ServerFrom(key, policy.server);
    remembered.level = LevelFrom(key);
    return remembered;
}

std::wstring ReadUser() {
    RegistryKey key;
    (void)OpenForReading(key);
    return UserFrom(key);
}

bool WriteUser(const std::wstring& user) { return WriteText(kUser, user); }

namespace {

// The plain-text pair, which knows no policy.
bool WritePassword(const SecretString& password) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(kPassword, password.c_str());
}

bool DeleteRegistryPassword() {
    RegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_SET_VALUE)) return key.LastError() == ERROR_FILE_NOT_FOUND;
    return key.DeleteValue(kPassword);
}

bool HasPlainText(RegistryKey& key) { return key.IsOpen() && key.GetValueType(kPassword) != 0; }

SecretString RecallFromCredentialManager(RegistryKey& key, const std::wstring& user) {
    SecretString held;
    std::wstring record;
    const LogonCredential::Lookup lookup = LogonCredential::Read(&held, &record);
    // Where the credential cannot be read, nobody can tell whether a
    // plain-text value is newer: nothing is moved, and nothing offered.
    if (lookup == LogonCredential::Lookup::Refused || !HasPlainText(key)) return held;
    SecretString plain = PasswordFrom(key);
    if (lookup == LogonCredential::Lookup::Found && PlainTextRecord::Matches(record, plain)) {
        // The credential was written while this very value stood in the
        // registry, so it is at least as new: the value is stale, left behind
        // by a deletion that failed.
        (void)DeleteRegistryPassword();
        return held;
    }
    if (LogonCredential::Write(user, plain, PlainTextRecord::Make(plain))) (void)DeleteRegistryPassword();
    return plain;
}

SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user, LogonPolicy::PasswordStore store) {
    using LogonPolicy::PasswordStore;
    switch (store) {
    case PasswordStore::Nowhere:
        // Removed as soon as settings are read, not at the next logon that
        // remembers, so a client that always sets Level bit 8 leaves none.
        if (HasPlainText(key)) (void)DeleteRegistryPassword();
        (void)LogonCredential::Delete();
        return SecretString();
    case PasswordStore::CredentialManager:
        return RecallFromCredentialManager(key, user);
    case PasswordStore::Registry:
        break;
    }
    return PasswordFrom(key);
}

}  // namespace

SecretString RecallPassword(const std::wstring& user) {
    RegistryKey key;
    (void)OpenForReading(key);
    return RecallPasswordFrom(key, user, LogonPolicy::Current().passwords);
}

void RememberPassword(const std::wstring& user, const SecretString& password) {
    using LogonPolicy::PasswordStore;
    switch (LogonPolicy::Current().passwords) {
    case PasswordStore::Nowhere:
        break;
    case PasswordStore::CredentialManager: {
        // A plain-text value still in the registry is older than the password
        // just confirmed: the credential records it, so it is never moved
        // over this one.
        RegistryKey key;
        (void)OpenForReading(key);
        const std::wstring record = HasPlainText(key) ? PlainTextRecord::Make(PasswordFrom(key)) : std::wstring();
        if (LogonCredential::Write(user, password, record)) {
            (void)DeleteRegistryPassword();
            return;
        }
        // Credential Manager refuses it, and the policy forbids the registry:
        // the password is remembered nowhere, and no older one is offered.
        break;
    }
    case PasswordStore::Registry:
        (void)WritePassword(password);
        return;
    }
    (void)DeleteRegistryPassword();
    (void)LogonCredential::Delete();
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
