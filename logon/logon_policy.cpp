#include "logon/logon_policy.h"
#include <windows.h>
#include "common/registry_key.h"

namespace LogonPolicy {

const wchar_t kKeyPath[] = L"Software\\Policies\\Velmora\\QUARN 5\\Logon";
const wchar_t kDisablePasswordSaving[] = L"DisablePasswordSaving";
const wchar_t kUseCredentialManager[] = L"UseCredentialManager";
const wchar_t kServer[] = L"Server";
const wchar_t kAllowServerChange[] = L"AllowServerChange";

namespace {

enum class Setting { Unset, Off, On };

Setting ReadSetting(const RegistryKey& key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.Handle(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return Setting::Unset;
    return value != 0 ? Setting::On : Setting::Off;
}

std::wstring ReadServer(RegistryKey& key) {
    if (key.GetValueType(kServer) != REG_SZ) return std::wstring();
    std::wstring server = key.ReadString(kServer, L"");
    return server.size() <= kMaxServerLength ? server : std::wstring();
}

// The policies of one root, from one opening of its key. KEY_READ only: a
// standard user reads the machine's policies too.
struct RootSettings {
    Setting noSaving = Setting::Unset;
    Setting credentialManager = Setting::Unset;
    std::wstring server;
    Setting allowServerChange = Setting::Unset;
};
RootSettings ReadRoot(HKEY root) {
    RootSettings settings;
    RegistryKey key;
    if (!key.Open(root, kKeyPath, KEY_READ)) return settings;
    settings.noSaving = ReadSetting(key, kDisablePasswordSaving);
    settings.credentialManager = ReadSetting(key, kUseCredentialManager);
    settings.server = ReadServer(key);
    if (!settings.server.empty()) settings.allowServerChange = ReadSetting(key, kAllowServerChange);
    return settings;
}

// The machine's value decides where it has one.
bool IsSet(Setting machine, Setting user) { return machine != Setting::Unset ? machine == Setting::On : user == Setting::On; }

}  // namespace

Decisions Current() {
    const RootSettings machine = ReadRoot(HKEY_LOCAL_MACHINE);
    const RootSettings user = ReadRoot(HKEY_CURRENT_USER);
    Decisions decisions;
    if (IsSet(machine.noSaving, user.noSaving))
        decisions.passwords = PasswordStore::Nowhere;
    else if (IsSet(machine.credentialManager, user.credentialManager))
        decisions.passwords = PasswordStore::CredentialManager;
    const RootSettings& named = machine.server.empty() ? user : machine;
    decisions.server = named.server;
    decisions.serverFixed = !named.server.empty() && named.allowServerChange != Setting::On;
    return decisions;
}

}  // namespace LogonPolicy
