// The remembered logon of the current Windows user: user name, password,
// server computer and the flag word, under HKEY_CURRENT_USER
// "Software\Velmora\QUARN 5\Logon". Every function opens the key afresh, does
// its reads or its one write and closes it again; nothing is cached, because every
// QUARN application of the user shares these values: what one of them (or
// another logon object) has just remembered is what the next read must see.
#pragma once
#include <windows.h>
#include <string>
#include "common/secret_string.h"

namespace LogonSettings {

// Path of the key below HKEY_CURRENT_USER.
extern const wchar_t kKeyPath[];

// What a new logon object starts from: the four values as the readers below
// give them, read in the order User, Password, Server, Level from one
// opening of the key, the password through RecallPassword; and the server
// as the organisation decides it (logon/logon_policy.h): a fixed server
// instead of the remembered one, a default server instead of this computer.
struct Remembered {
    std::wstring user;
    SecretString password;
    std::wstring server;
    bool serverFixed = false;  // every logon goes to server
    LONG level = 0;
};
Remembered ReadRemembered();

// The remembered user name; the Windows user name when none (or an empty one)
// is stored. Reading never creates the key.
std::wstring ReadUser();
[[nodiscard]] bool WriteUser(const std::wstring& user);

// The remembered password from where the password policy keeps it
// (logon/logon_policy.h); empty when passwords are not remembered or none
// is. user is the remembered user. With no policy set, only the registry is
// read, as it always was: a credential left by a policy since lifted stays in
// Credential Manager, unused.
// With passwords not remembered, a password remembered earlier is removed
// from both places here, whatever the client does next.
// With Credential Manager required, a plain-text password found in the Logon
// key is moved into the credential under that name when it is newer than
// the credential (logon/plain_text_record.h); it leaves the registry only once
// the credential holds it, so a move Credential Manager refuses keeps the
// only copy there. A plain-text value no newer than the credential is deleted
// again where possible and never moved. Where Credential Manager cannot be
// read, there is no password.
SecretString RecallPassword(const std::wstring& user);
// Remembers the password of a confirmed logon where the policy keeps it. In
// Credential Manager, the plain-text value then leaves the registry; where
// Credential Manager refuses the password, it is remembered nowhere. With
// passwords not remembered, removes it from both places. Best effort, like
// the other writers.
void RememberPassword(const std::wstring& user, const SecretString& password);

// The remembered server computer; this computer's name when none (or an
// empty one) is stored.
std::wstring ReadServer();
[[nodiscard]] bool WriteServer(const std::wstring& server);

// The remembered flag word; 0 when none is stored. Also read from a
// REG_BINARY of up to four bytes; always written as REG_DWORD.
LONG ReadLevel();
[[nodiscard]] bool WriteLevel(LONG level);

}  // namespace LogonSettings
