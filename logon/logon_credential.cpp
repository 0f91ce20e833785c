#include "logon/logon_credential.h"
#include <windows.h>
#include <wincred.h>

namespace LogonCredential {

const wchar_t kTargetName[] = L"Velmora/QUARN 5/Logon";

namespace {
// Owns what CredReadW hands out; wipes the blob before it is freed.
class CredentialRead {
public:
    CredentialRead() = default;
    ~CredentialRead() {
        if (!m_pCredential) return;
        if (m_pCredential->CredentialBlob) SecureZeroMemory(m_pCredential->CredentialBlob, m_pCredential->CredentialBlobSize);
        CredFree(m_pCredential);
    }
    CredentialRead(const CredentialRead&) = delete;
    CredentialRead& operator=(const CredentialRead&) = delete;
    PCREDENTIALW* Receive() { return &m_pCredential; }
    const CREDENTIALW* operator->() const { return m_pCredential; }

private:
    PCREDENTIALW m_pCredential = nullptr;
};
}  // namespace

Lookup Read(SecretString* password, std::wstring* user, std::wstring* comment) {
    CredentialRead credential;
    if (!CredReadW(kTargetName, CRED_TYPE_GENERIC, 0, credential.Receive()))
        return GetLastError() == ERROR_NOT_FOUND ? Lookup::Missing : Lookup::Refused;
    const DWORD bytes = credential->CredentialBlobSize;
    SecretString text;
    if (bytes % sizeof(wchar_t) == 0 && bytes <= kMaxBlobBytes && (bytes == 0 || credential->CredentialBlob)) {
        // The blob need not be aligned for wchar_t: its bytes are copied,
        // never read through a wchar_t pointer.
        text.resize(bytes / sizeof(wchar_t));
        if (bytes != 0) memcpy(&text[0], credential->CredentialBlob, bytes);
    }
    *user = credential->UserName ? credential->UserName : L"";
    *comment = credential->Comment ? credential->Comment : L"";
    *password = std::move(text);
    return Lookup::Found;
}

bool Write(const std::wstring& user, const SecretString& password, const std::wstring& comment) {
    // Windows refuses a user name longer than CRED_MAX_USERNAME_LENGTH and a
    // comment longer than CRED_MAX_STRING_LENGTH (the CREDENTIAL structure's
    // page). They are refused here on every platform alike, so that such a
    // password is never remembered where Windows would not remember it.
    const size_t bytes = password.size() * sizeof(wchar_t);
    if (bytes > kMaxBlobBytes || user.size() > CRED_MAX_USERNAME_LENGTH || comment.size() > CRED_MAX_STRING_LENGTH)
        return false;
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = const_cast<LPWSTR>(kTargetName);
    credential.Comment = comment.empty() ? nullptr : const_cast<LPWSTR>(comment.c_str());
    credential.CredentialBlobSize = static_cast<DWORD>(bytes);
    credential.CredentialBlob = bytes ? reinterpret_cast<LPBYTE>(const_cast<wchar_t*>(password.data())) : nullptr;
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = const_cast<LPWSTR>(user.c_str());
    return CredWriteW(&credential, 0) != FALSE;
}

bool Delete() {
    return CredDeleteW(kTargetName, CRED_TYPE_GENERIC, 0) || GetLastError() == ERROR_NOT_FOUND;
}

}  // namespace LogonCredential
