#include "server/registry_native.h"
#include <cstring>
#include <vector>

namespace {
using NtStatus = LONG;
constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023);
constexpr int kKeyNameInformation = 3;  // KEY_INFORMATION_CLASS
}  // namespace

// ntdll.dll exports (ZwDeleteKey and ZwQueryKey of the driver kit).
extern "C" NtStatus NTAPI NtDeleteKey(HANDLE key);
extern "C" NtStatus NTAPI NtQueryKey(HANDLE key, int informationClass, void* information, ULONG length,
                                     ULONG* resultLength);
extern "C" ULONG NTAPI RtlNtStatusToDosError(NtStatus status);

bool IsRegistryLink(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

LONG DeleteKeyByHandle(HKEY key) {
    const NtStatus status = NtDeleteKey(key);
    return status >= 0 ? ERROR_SUCCESS : static_cast<LONG>(RtlNtStatusToDosError(status));
}

std::wstring RegistryKeyName(HKEY key) {
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name.
    ULONG length = 512;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<BYTE> buffer(length);
        ULONG filled = 0;
        const NtStatus status = NtQueryKey(key, kKeyNameInformation, buffer.data(), length, &filled);
        if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {
            length = filled > length ? filled : length * 2;
            continue;
        }
        if (status < 0 || filled < sizeof(ULONG) || filled > length) return std::wstring();
        ULONG nameBytes = 0;
        memcpy(&nameBytes, buffer.data(), sizeof nameBytes);
        if (nameBytes > filled - sizeof(ULONG)) return std::wstring();
        return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)),
                            nameBytes / sizeof(wchar_t));
    }
    return std::wstring();
}
