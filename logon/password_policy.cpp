#include "logon/password_policy.h"
#include <windows.h>
#include "common/registry_key.h"

namespace PasswordPolicy {

const wchar_t kKeyPath[] = L"Software\\Policies\\Velmora\\QUARN 5\\Logon";
const wchar_t kDisablePasswordSaving[] = L"DisablePasswordSaving";
const wchar_t kUseCredentialManager[] = L"UseCredentialManager";

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

// Both policies of one root, from one opening of its key. KEY_READ only: a
// standard user reads the machine's policies too.
struct RootSettings {
    Setting noSaving = Setting::Unset;
    Setting credentialManager = Setting::Unset;
};
RootSettings ReadRoot(HKEY root) {
    RootSettings settings;
    RegistryKey key;
    if (!key.Open(root, kKeyPath, KEY_READ)) return settings;
    settings.noSaving = ReadSetting(key, kDisablePasswordSaving);
    settings.credentialManager = ReadSetting(key, kUseCredentialManager);
    return settings;
}

// The machine's value decides where it has one.
bool IsSet(Setting machine, Setting user) { return machine != Setting::Unset ? machine == Setting::On : user == Setting::On; }

}  // namespace

PasswordStore Current() {
    const RootSettings machine = ReadRoot(HKEY_LOCAL_MACHINE);
    const RootSettings user = ReadRoot(HKEY_CURRENT_USER);
    if (IsSet(machine.noSaving, user.noSaving)) return PasswordStore::Nowhere;
    if (IsSet(machine.credentialManager, user.credentialManager)) return PasswordStore::CredentialManager;
    return PasswordStore::Registry;
}

}  // namespace PasswordPolicy
