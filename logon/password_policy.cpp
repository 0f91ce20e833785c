#include "logon/password_policy.h"
#include <windows.h>
#include "common/registry_key.h"

namespace PasswordPolicy {

const wchar_t kKeyPath[] = L"Software\\Policies\\Velmora\\QUARN 5\\Logon";
const wchar_t kDisablePasswordSaving[] = L"DisablePasswordSaving";
const wchar_t kUseCredentialManager[] = L"UseCredentialManager";

namespace {

enum class Setting { Unset, Off, On };

// KEY_READ only: a standard user reads the machine's policies too.
Setting ReadSetting(HKEY root, const wchar_t* name) {
    RegistryKey key;
    if (!key.Open(root, kKeyPath, KEY_READ)) return Setting::Unset;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.Handle(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return Setting::Unset;
    return value != 0 ? Setting::On : Setting::Off;
}

bool IsSet(const wchar_t* name) {
    const Setting machine = ReadSetting(HKEY_LOCAL_MACHINE, name);
    if (machine != Setting::Unset) return machine == Setting::On;
    return ReadSetting(HKEY_CURRENT_USER, name) == Setting::On;
}

}  // namespace

PasswordStore Current() {
    if (IsSet(kDisablePasswordSaving)) return PasswordStore::Nowhere;
    if (IsSet(kUseCredentialManager)) return PasswordStore::CredentialManager;
    return PasswordStore::Registry;
}

}  // namespace PasswordPolicy
