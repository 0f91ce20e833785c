// What the organisation decides about remembered passwords. Two policies,
// REG_DWORD values under "Software\Policies\Velmora\QUARN 5\Logon", are read
// from HKEY_LOCAL_MACHINE and from HKEY_CURRENT_USER; where both roots hold a
// value, the machine's decides. A missing key or a value of another type
// counts as not set; any non-zero DWORD as set.
//   DisablePasswordSaving: no password is remembered anywhere.
//   UseCredentialManager:  the password is remembered in Credential Manager,
//                          never in the registry.
// DisablePasswordSaving wins over UseCredentialManager. With neither set the
// password is remembered as plain text in the user's Logon key, as always.
// The policies are read afresh at every use, like the settings themselves.
#pragma once

namespace PasswordPolicy {

// Path of the policy key below both roots, and the names of its values.
extern const wchar_t kKeyPath[];
extern const wchar_t kDisablePasswordSaving[];
extern const wchar_t kUseCredentialManager[];

enum class PasswordStore {
    Registry,           // "Password" in the Logon key, as plain text
    CredentialManager,  // a generic credential of the current user
    Nowhere             // not remembered
};

// Where the organisation lets the password be remembered now.
PasswordStore Current();

}  // namespace PasswordPolicy
