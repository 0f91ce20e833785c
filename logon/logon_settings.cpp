#include "logon/logon_settings.h"
#include "common/registry_key.h"

namespace LogonSettings {

const char kKeyPath[] = "Software\\Velmora\\QUARN 5\\Logon";

namespace {

const char kUser[] = "User";
const char kPassword[] = "Password";
const char kServer[] = "Server";
const char kLevel[] = "Level";

std::string WindowsUserName() {
    char name[512] = {};
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? std::string(name) : std::string();
}

std::string ThisComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

bool OpenForReading(RegistryKey& key) { return key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_QUERY_VALUE); }

bool CreateForWriting(RegistryKey& key) {
    return key.Create(HKEY_CURRENT_USER, kKeyPath, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE);
}

// A stored empty text counts as missing: the fallback takes its place.
std::string ReadNonEmpty(const char* name, std::string fallback) {
    RegistryKey key;
    if (!OpenForReading(key)) return fallback;
    std::string text = key.ReadString(name, "");
    return text.empty() ? fallback : text;
}

bool WriteText(const char* name, const std::string& text) {
    RegistryKey key;
    return CreateForWriting(key) && key.WriteString(name, text);
}

}  // namespace

std::string ReadUser() { return ReadNonEmpty(kUser, WindowsUserName()); }

bool WriteUser(const std::string& user) { return WriteText(kUser, user); }

std::string ReadPassword() {
    RegistryKey key;
    if (!OpenForReading(key)) return std::string();
    return key.ReadString(kPassword, "");
}

bool WritePassword(const std::string& password) { return WriteText(kPassword, password); }

std::string ReadServer() { return ReadNonEmpty(kServer, ThisComputerName()); }

bool WriteServer(const std::string& server) { return WriteText(kServer, server); }

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
