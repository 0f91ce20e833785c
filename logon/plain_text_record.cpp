#include "logon/plain_text_record.h"
#include <windows.h>
#include <wincrypt.h>
#include "common/unique_handle.h"

namespace PlainTextRecord {

namespace {

// "sha256:", then the salt and the digest of the salt followed by the text's
// UTF-16LE units, in lower-case hexadecimal.
const wchar_t kPrefix[] = L"sha256:";
constexpr size_t kPrefixLength = ARRAYSIZE(kPrefix) - 1;
constexpr DWORD kSaltBytes = 16;
constexpr DWORD kDigestBytes = 32;
constexpr size_t kRecordLength = kPrefixLength + 2 * (kSaltBytes + kDigestBytes);

bool AcquireProvider(UniqueCryptProvider& provider) {
    return CryptAcquireContextW(provider.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
}

void AppendHex(std::wstring& out, const BYTE* bytes, size_t count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// The record of text with the given salt; empty when it cannot be computed.
std::wstring RecordFor(HCRYPTPROV provider, const BYTE (&salt)[kSaltBytes], std::wstring_view text) {
    UniqueCryptHash hash;
    BYTE digest[kDigestBytes] = {};
    DWORD size = sizeof digest;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, hash.Receive()) ||
        !CryptHashData(hash.Get(), salt, kSaltBytes, 0) ||
        !CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size() * sizeof(wchar_t)), 0) ||
        !CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) || size != kDigestBytes)
        return std::wstring();
    std::wstring record(kPrefix);
    AppendHex(record, salt, kSaltBytes);
    AppendHex(record, digest, kDigestBytes);
    return record;
}

}  // namespace

std::wstring Make(std::wstring_view text) {
    UniqueCryptProvider provider;
    BYTE salt[kSaltBytes] = {};
    if (!AcquireProvider(provider) || !CryptGenRandom(provider.Get(), kSaltBytes, salt)) return std::wstring();
    return RecordFor(provider.Get(), salt, text);
}

bool Matches(const std::wstring& record, std::wstring_view text) {
    if (record.size() != kRecordLength || record.compare(0, kPrefixLength, kPrefix) != 0) return false;
    BYTE salt[kSaltBytes] = {};
    for (size_t i = 0; i < kSaltBytes; ++i) {
        const int high = HexValue(record[kPrefixLength + 2 * i]);
        const int low = HexValue(record[kPrefixLength + 2 * i + 1]);
        if (high < 0 || low < 0) return false;
        salt[i] = static_cast<BYTE>(high << 4 | low);
    }
    UniqueCryptProvider provider;
    return AcquireProvider(provider) && RecordFor(provider.Get(), salt, text) == record;
}

}  // namespace PlainTextRecord
