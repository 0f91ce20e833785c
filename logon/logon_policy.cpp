#include "logon/logon_policy.h"
#include <windows.h>
#include "common/machine_registry_view.h"
#include "common/registry_key.h"

namespace LogonPolicy {

const wchar_t kKeyPath[] = L"Software\\Policies\\Velmora\\QUARN 5\\Logon";
const wchar_t kDisablePasswordSaving[] = L"DisablePasswordSaving";
const wchar_t kUseCredentialManager[] = L"UseCredentialManager";
const wchar_t kServer[] = L"Server";
const wchar_t kAllowServerChange[] = L"AllowServerChange";

namespace {

enum class Setting { Unset, Off, On };

// A registry result that says nothing about the value: neither read, nor
// missing, nor longer than asked for.
bool Unreadable(LONG result) {
    return result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND && result != ERROR_MORE_DATA;
}

Setting ReadSetting(const RegistryKey& key, const wchar_t* name, bool& unreadable) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExW(key.Handle(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    unreadable = unreadable || Unreadable(result);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return Setting::Unset;
    return value != 0 ? Setting::On : Setting::Off;
}

std::wstring ReadServer(RegistryKey& key, bool& unreadable) {
    const DWORD type = key.GetValueType(kServer);
    unreadable = unreadable || Unreadable(key.LastError());
    if (type != REG_SZ) return std::wstring();
    std::wstring server = key.ReadString(kServer, L"");
    unreadable = unreadable || Unreadable(key.LastError());
    return server.size() <= kMaxServerLength ? server : std::wstring();
}

// The policies of one root, from one opening of its key. KEY_READ only: a
// standard user reads the machine's policies too.
struct RootSettings {
    Setting noSaving = Setting::Unset;
    Setting credentialManager = Setting::Unset;
    std::wstring server;
    Setting allowServerChange = Setting::Unset;
    // The key or a value is there but could not be read (access denied, an
    // impersonation level too low); a missing one is only not set.
    bool unreadable = false;
};
RootSettings ReadRoot(HKEY root) {
    RootSettings settings;
    RegistryKey key;
    if (!key.Open(root, kKeyPath, KEY_READ)) {
        settings.unreadable = key.LastError() != ERROR_FILE_NOT_FOUND;
        return settings;
    }
    settings.noSaving = ReadSetting(key, kDisablePasswordSaving, settings.unreadable);
    settings.credentialManager = ReadSetting(key, kUseCredentialManager, settings.unreadable);
    settings.server = ReadServer(key, settings.unreadable);
    if (!settings.server.empty())
        settings.allowServerChange = ReadSetting(key, kAllowServerChange, settings.unreadable);
    return settings;
}

// The machine's policies as the machine holds them, never as the user's
// virtual store shows them: the key is opened, read and closed in the view.
RootSettings ReadMachine() {
    const MachineRegistryView view;
    if (!view.Ready()) {
        RootSettings refused;
        refused.unreadable = true;
        return refused;
    }
    return ReadRoot(HKEY_LOCAL_MACHINE);
}

// The machine's value decides where it has one.
bool IsSet(Setting machine, Setting user) { return machine != Setting::Unset ? machine == Setting::On : user == Setting::On; }

}  // namespace

Decisions Current() {
    const RootSettings machine = ReadMachine();
    Decisions decisions;
    if (machine.unreadable) {
        // What the machine decides is unknown: no password is offered or
        // remembered, and the user's root, which the machine's Server would
        // override, names no server in its place.
        decisions.passwords = PasswordStore::Unknown;
        return decisions;
    }
    const RootSettings user = ReadRoot(HKEY_CURRENT_USER);
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
