// The remembered logon of the current Windows user: user name, password,
// server computer and the flag word, under HKEY_CURRENT_USER
// "Software\Velmora\QUARN 5\Logon". Every function opens the key afresh, does
// its one read or write and closes it again; nothing is cached, because every
// QUARN application of the user shares these values: what one of them (or
// another logon object) has just remembered is what the next read must see.
#pragma once
#include <windows.h>
#include <string>

namespace LogonSettings {

// Path of the key below HKEY_CURRENT_USER.
extern const wchar_t kKeyPath[];

// The remembered user name; the Windows user name when none (or an empty one)
// is stored. Reading never creates the key.
std::wstring ReadUser();
[[nodiscard]] bool WriteUser(const std::wstring& user);

// The remembered password, stored as plain text; empty when none is stored.
std::wstring ReadPassword();
[[nodiscard]] bool WritePassword(const std::wstring& password);

// The remembered server computer; this computer's name when none (or an
// empty one) is stored.
std::wstring ReadServer();
[[nodiscard]] bool WriteServer(const std::wstring& server);

// The remembered flag word; 0 when none is stored. Also read from a
// REG_BINARY of up to four bytes; always written as REG_DWORD.
LONG ReadLevel();
[[nodiscard]] bool WriteLevel(LONG level);

}  // namespace LogonSettings
