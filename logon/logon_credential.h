// The remembered password kept in Credential Manager: one generic credential
// of the current user, target name "Velmora/QUARN 5/Logon", whose user name
// is the remembered user and whose blob is the password in UTF-16LE without
// a terminating zero, kept on this computer (CRED_PERSIST_LOCAL_MACHINE).
#pragma once
#include <string>
#include "common/secret_string.h"

namespace LogonCredential {

extern const wchar_t kTargetName[];
// The largest blob Windows accepts for a credential (5 × 512 bytes). The
// platform headers' CRED_MAX_CREDENTIAL_BLOB_SIZE names an older, smaller
// limit, so it is not used.
constexpr size_t kMaxBlobBytes = 5 * 512;

// The password of the credential; false, with *password untouched, when
// there is none or when its blob is damaged (not a whole number of UTF-16
// units, or larger than the platform allows).
[[nodiscard]] bool Read(SecretString* password);
// Creates or replaces the credential; false when it could not be written or
// the password is too long for a credential.
[[nodiscard]] bool Write(const std::wstring& user, const SecretString& password);
// Deletes the credential; true when none is left.
bool Delete();

}  // namespace LogonCredential
