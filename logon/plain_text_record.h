// The record a credential keeps, in its comment, of the plain-text "Password"
// value that stood in the Logon key when the credential was written: a salted
// SHA-256 digest of the value, never the value itself.
//
// A plain-text value that matches the record is no newer than the credential
// (it was moved, or outdated by a later logon, and could not be deleted), so
// it is never moved over the credential. Any other value was written after
// the credential, while passwords went to the registry, and is the newer one.
#pragma once
#include <string>
#include <string_view>

namespace PlainTextRecord {

// A new record of text, with a fresh random salt; empty when the platform's
// cryptographic provider is not available (a credential without a record
// treats every plain-text value as the newer one).
std::wstring Make(std::wstring_view text);
// True when record was made from exactly this text.
bool Matches(const std::wstring& record, std::wstring_view text);

}  // namespace PlainTextRecord
