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

bool Read(SecretString* password) {
    CredentialRead credential;
    if (!CredReadW(kTargetName, CRED_TYPE_GENERIC, 0, credential.Receive())) return false;
    const DWORD bytes = credential->CredentialBlobSize;
    if (bytes % sizeof(wchar_t) != 0 || bytes > kMaxBlobBytes) return false;
    if (bytes != 0 && !credential->CredentialBlob) return false;
    // The blob need not be aligned for wchar_t: its bytes are copied, never
    // read through a wchar_t pointer.
    SecretString text;
    text.resize(bytes / sizeof(wchar_t));
    if (bytes != 0) memcpy(&text[0], credential->CredentialBlob, bytes);
    *password = std::move(text);
    return true;
}

bool Write(const std::wstring& user, const SecretString& password) {
    const size_t bytes = password.size() * sizeof(wchar_t);
    if (bytes > kMaxBlobBytes) return false;
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = const_cast<LPWSTR>(kTargetName);
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
