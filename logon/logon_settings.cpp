#include "logon/logon_settings.h"
#include "common/registry_key.h"

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

std::wstring ReadPassword() {
    RegistryKey key;
    if (!OpenForReading(key)) return std::wstring();
    return key.ReadString(kPassword, L"");
}

bool WritePassword(const std::wstring& password) { return WriteText(kPassword, password); }

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
