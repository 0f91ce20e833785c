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

// Where the password a logon holds came from. It decides what remembering
// that password may replace: a password nobody supplied never takes the
// place of one that is stored.
enum class PasswordOrigin {
    Stored,    // offered from where the policy keeps passwords, or none is kept
    Withheld,  // one is kept but could not be offered: Credential Manager
               // cannot be read here, or its credential is another user's
    Supplied   // passed to Initialize or typed in the logon dialog
};

// What a new logon object starts from: the four values as the readers below
// give them, read in the order User, Password, Server, Level from one
// opening of the key, the password through RecallPassword; and the server
// as the organisation decides it (logon/logon_policy.h): a fixed server
// instead of the remembered one, a default server instead of this computer
// and instead of a remembered server that only ever was an earlier default.
struct Remembered {
    std::wstring user;
    SecretString password;
    PasswordOrigin passwordOrigin = PasswordOrigin::Stored;
    // The password is user's credential, to be offered to no other user.
    bool passwordOfUser = false;
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
// With Credential Manager required, the credential's password is offered
// only when its user name is user, compared exactly: the name is the
// translation server's, not a Windows account. A plain-text password found
// in the Logon key is moved into the credential under that name when it is
// newer than the credential (logon/plain_text_record.h); it leaves the
// registry only once the credential holds it, so a move Credential Manager
// refuses keeps the only copy there. A plain-text value no newer than the
// credential is deleted again where possible and never moved; nor is a value
// of another type than REG_SZ moved over a credential. Where Credential
// Manager cannot be read, there is no password.
SecretString RecallPassword(const std::wstring& user);
// Remembers the password of a confirmed logon where the policy keeps it. In
// Credential Manager, the plain-text value then leaves the registry once the
// credential holds it or a supplied password replaced it. A password nobody
// supplied changes nothing Credential Manager refuses and is not written at
// all when a kept one was withheld; a supplied password Credential Manager
// refuses is remembered nowhere. With passwords not remembered, removes it
// from both places. Best effort, like the other writers.
void RememberPassword(const std::wstring& user, const SecretString& password, PasswordOrigin origin);

// The remembered server computer; this computer's name when none (or an
// empty one) is stored.
std::wstring ReadServer();
[[nodiscard]] bool WriteServer(const std::wstring& server);
// Remembers the server of a confirmed logon as the server policy allows:
// nothing while it fixes the server. While it names a default, "Server" is
// written as always, for copies of the library that know no policy, and
// "PolicyServer" records the default when server is that default, so that
// the user follows the organisation's next default; any other server is the
// user's own choice and is kept. Best effort.
void RememberServer(const std::wstring& server);

// The remembered flag word; 0 when none is stored. Also read from a
// REG_BINARY of up to four bytes; always written as REG_DWORD.
LONG ReadLevel();
[[nodiscard]] bool WriteLevel(LONG level);

}  // namespace LogonSettings
