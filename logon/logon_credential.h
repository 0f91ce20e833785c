// The remembered password kept in Credential Manager: one generic credential
// of the current user, target name "Velmora/QUARN 5/Logon", whose user name
// is the remembered user and whose blob is the password in UTF-16LE without
// a terminating zero, kept on this computer (CRED_PERSIST_LOCAL_MACHINE). Its
// comment holds what the settings store records beside the password (see
// logon/plain_text_record.h).
#pragma once
#include <string>
#include "common/secret_string.h"

namespace LogonCredential {

extern const wchar_t kTargetName[];
// The largest blob Windows accepts for a credential (5 × 512 bytes). The
// platform headers' CRED_MAX_CREDENTIAL_BLOB_SIZE names an older, smaller
// limit, so it is not used.
constexpr size_t kMaxBlobBytes = 5 * 512;

enum class Lookup {
    Found,    // the credential exists
    Missing,  // there is none
    Refused   // Credential Manager cannot be read here (no logon session, ...)
};
// Reads the credential. Found: *password is its password, or empty when the
// blob is damaged (not a whole number of UTF-16 units, or larger than the
// platform allows); *user its user name; *comment its comment. Otherwise all
// three stay untouched.
[[nodiscard]] Lookup Read(SecretString* password, std::wstring* user, std::wstring* comment);
// Creates or replaces the credential; false when Credential Manager refuses,
// or would refuse, it: a user name or comment longer than it takes, a
// password too long for a blob.
[[nodiscard]] bool Write(const std::wstring& user, const SecretString& password, const std::wstring& comment);
// Deletes the credential; true when none is left.
bool Delete();

}  // namespace LogonCredential
