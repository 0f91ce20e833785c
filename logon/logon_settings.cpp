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
// The default server of the policy that "Server" holds because the user took
// it, not chose it; see RememberServer.
const wchar_t kPolicyServer[] = L"PolicyServer";

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
// A remembered server that is the default a logon took, not the user's own
// choice, gives way to the organisation's current default.
std::wstring ServerFrom(RegistryKey& key, const std::wstring& defaultServer = std::wstring()) {
    std::wstring text = key.IsOpen() ? key.ReadString(kServer, L"") : std::wstring();
    if (!text.empty() && (defaultServer.empty() || text != key.ReadString(kPolicyServer, L""))) return text;
    return defaultServer.empty() ? ThisComputerName() : defaultServer;
}
SecretString PasswordFrom(RegistryKey& key) {
    return key.IsOpen() ? TakeSecret(key.ReadString(kPassword, L"")) : SecretString();
}
LONG LevelFrom(RegistryKey& key) { return key.IsOpen() ? static_cast<LONG>(key.ReadDWORD(kLevel, 0)) : 0; }

// The remembered password from where the policy keeps it; key is the Logon
// key opened for reading, or closed.
SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user, LogonPolicy::PasswordStore store,
                                PasswordOrigin* origin);

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
    remembered.password = RecallPasswordFrom(key, remembered.user, policy.passwords, &remembered.passwordOrigin);
    remembered.passwordOfUser = policy.passwords == LogonPolicy::PasswordStore::CredentialManager;
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

SecretString RecallFromCredentialManager(RegistryKey& key, const std::wstring& user, PasswordOrigin* origin) {
    SecretString held;
    std::wstring owner, record;
    const LogonCredential::Lookup lookup = LogonCredential::Read(&held, &owner, &record);
    // Where the credential cannot be read, nobody can tell whether a
    // plain-text value is newer: nothing is moved, and nothing offered.
    if (lookup == LogonCredential::Lookup::Refused) {
        *origin = PasswordOrigin::Withheld;
        return SecretString();
    }
    const bool found = lookup == LogonCredential::Lookup::Found;
    // Another user's password is never offered; the credential stays theirs.
    if (found && owner != user) {
        held.Wipe();
        *origin = PasswordOrigin::Withheld;
    }
    if (!HasPlainText(key)) return held;
    // A value that is not text was written by no logon: what it reads as is
    // never taken for a newer password than the credential's.
    if (found && key.GetValueType(kPassword) != REG_SZ) return held;
    SecretString plain = PasswordFrom(key);
    if (found && PlainTextRecord::Matches(record, plain)) {
        // The credential was written while this very value stood in the
        // registry, so it is at least as new: the value is stale, left behind
        // by a deletion that failed.
        (void)DeleteRegistryPassword();
        return held;
    }
    *origin = PasswordOrigin::Stored;
    if (LogonCredential::Write(user, plain, PlainTextRecord::Make(plain))) (void)DeleteRegistryPassword();
    return plain;
}

SecretString RecallPasswordFrom(RegistryKey& key, const std::wstring& user, LogonPolicy::PasswordStore store,
                                PasswordOrigin* origin) {
    using LogonPolicy::PasswordStore;
    *origin = PasswordOrigin::Stored;
    switch (store) {
    case PasswordStore::Nowhere:
        // Removed as soon as settings are read, not at the next logon that
        // remembers, so a client that always sets Level bit 8 leaves none.
        if (HasPlainText(key)) (void)DeleteRegistryPassword();
        (void)LogonCredential::Delete();
        return SecretString();
    case PasswordStore::Unknown:
        // Whatever is kept may be the only copy: it stays, and is not offered.
        *origin = PasswordOrigin::Withheld;
        return SecretString();
    case PasswordStore::CredentialManager:
        return RecallFromCredentialManager(key, user, origin);
    case PasswordStore::Registry:
        break;
    }
    return PasswordFrom(key);
}

}  // namespace

SecretString RecallPassword(const std::wstring& user) {
    RegistryKey key;
    (void)OpenForReading(key);
    PasswordOrigin origin;
    return RecallPasswordFrom(key, user, LogonPolicy::Current().passwords, &origin);
}

void RememberPassword(const std::wstring& user, const SecretString& password, PasswordOrigin origin) {
    using LogonPolicy::PasswordStore;
    const PasswordStore store = LogonPolicy::Current().passwords;
    // The empty password offered instead of a withheld one would take its place.
    if (origin == PasswordOrigin::Withheld && store != PasswordStore::Nowhere) return;
    const bool supplied = origin == PasswordOrigin::Supplied;
    switch (store) {
    case PasswordStore::Nowhere:
        break;
    case PasswordStore::Unknown:
        return;
    case PasswordStore::CredentialManager: {
        // A plain-text value still in the registry is older than the password
        // just confirmed: the credential records it, so it is never moved
        // over this one.
        RegistryKey key;
        (void)OpenForReading(key);
        const bool hasPlain = HasPlainText(key);
        const SecretString plain = hasPlain ? PasswordFrom(key) : SecretString();
        if (LogonCredential::Write(user, password, hasPlain ? PlainTextRecord::Make(plain) : std::wstring())) {
            // It leaves the registry when the credential holds it, or when a
            // supplied password takes its place.
            if (hasPlain && (supplied || plain == password)) (void)DeleteRegistryPassword();
            return;
        }
        // Credential Manager refuses it. What was kept stays, unless a
        // supplied password replaces it: the policy forbids the registry, so
        // the password is remembered nowhere, and no older one is offered.
        if (!supplied) return;
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

void RememberServer(const std::wstring& server) {
    const LogonPolicy::Decisions policy = LogonPolicy::Current();
    if (policy.serverFixed) return;
    RegistryKey key;
    if (!CreateForWriting(key) || !key.WriteString(kServer, server) || policy.server.empty()) return;
    if (server == policy.server)
        (void)key.WriteString(kPolicyServer, server);
    else
        (void)key.DeleteValue(kPolicyServer);
}

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
