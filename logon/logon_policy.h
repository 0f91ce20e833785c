// What the organisation decides about the logon, by values under
// "Software\Policies\Velmora\QUARN 5\Logon" in HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER. A missing key, or a value of another type, counts as not
// set; a REG_DWORD policy is set by any non-zero value.
//
// Where passwords are remembered: two REG_DWORD policies, each read from both
// roots; where both roots hold a value, the machine's decides.
//   DisablePasswordSaving: no password is remembered anywhere.
//   UseCredentialManager:  the password is remembered in Credential Manager,
//                          never in the registry.
// DisablePasswordSaving wins over UseCredentialManager. With neither set the
// password is remembered as plain text in the user's Logon key, as always.
//
// The translation server: a pair read as one, from HKEY_LOCAL_MACHINE when it
// holds a Server, otherwise from HKEY_CURRENT_USER, so that a user's
// AllowServerChange never loosens a machine's Server.
//   Server (REG_SZ):              the server computer; an empty value, or one
//                                 longer than kMaxServerLength, counts as not set.
//   AllowServerChange (REG_DWORD): non-zero: Server is only the default for
//                                 users who have none remembered; 0 or not
//                                 set: every logon goes to Server.
//
// The machine's key is read as the machine holds it, past the registry's
// virtual store of a virtualized host (MachineRegistryView), which any
// standard user can write. Where it is there but cannot be read (access
// denied, an impersonation level too low, the view not to be had), no
// password is offered or remembered (PasswordStore::Unknown: what is kept
// stays, since the policy may well allow it) and no server is named; HKEY_CURRENT_USER's key,
// which only administrators can write, is read as it is.
//
// The policies are read afresh at every use, like the settings themselves.
#pragma once
#include <string>

namespace LogonPolicy {

// Path of the policy key below both roots, and the names of its values.
extern const wchar_t kKeyPath[];
extern const wchar_t kDisablePasswordSaving[];
extern const wchar_t kUseCredentialManager[];
extern const wchar_t kServer[];
extern const wchar_t kAllowServerChange[];
constexpr size_t kMaxServerLength = 255;

enum class PasswordStore {
    Registry,           // "Password" in the Logon key, as plain text
    CredentialManager,  // a generic credential of the current user
    Nowhere,            // not remembered, and what was remembered is removed
    Unknown             // the machine's decision cannot be read: nothing is
                        // offered, remembered or removed until it can
};

struct Decisions {
    PasswordStore passwords = PasswordStore::Registry;
    // The server the organisation names; empty when it names none.
    std::wstring server;
    // Every logon goes to server; otherwise server is only the default.
    bool serverFixed = false;
};

// Every policy, from one opening of the key of each root.
Decisions Current();

}  // namespace LogonPolicy
