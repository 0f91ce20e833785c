#include "logon/local_computer.h"
#include <winsock2.h>
#include <ws2ipdef.h>
// The header declares the address parsers of ntdll without C linkage.
extern "C" {
#include <mstcpip.h>
}
#include <windows.h>
#include <iphlpapi.h>
#include <cstring>
#include <string>
#include <vector>
#include "common/unique_handle.h"

namespace {
// Letter case is ignored for every letter, Cyrillic and Greek included, not
// only for ASCII. An unknown name (empty) matches nothing.
bool SameName(std::wstring_view a, std::wstring_view b) {
    return !b.empty() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// This computer's NetBIOS name, as the platform reports it; empty when unknown.
std::wstring NetBiosName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

// One of this computer's DNS names; empty when unknown or not configured.
std::wstring DnsName(COMPUTER_NAME_FORMAT format) {
    wchar_t name[256] = {};  // a DNS name has at most 255 characters
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameExW(format, name, &size) ? std::wstring(name, size) : std::wstring();
}

// An IP address: 4 bytes for IPv4 (an IPv4-mapped IPv6 address counts as
// its IPv4 address), 16 for IPv6 with the scope the name gave (0: none).
struct IpAddress {
    ADDRESS_FAMILY family = AF_UNSPEC;
    BYTE bytes[16] = {};
    ULONG scope = 0;

    bool IsLoopback() const {
        if (family == AF_INET) return bytes[0] == 127;
        static const BYTE kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return memcmp(bytes, kLoopback6, 16) == 0;
    }
    // The same address as one of the computer's own; an IPv6 address given
    // without a scope matches in any.
    bool Is(const SOCKADDR* own) const {
        if (own->sa_family != family) return false;
        if (family == AF_INET) return memcmp(&reinterpret_cast<const SOCKADDR_IN*>(own)->sin_addr, bytes, 4) == 0;
        const SOCKADDR_IN6* v6 = reinterpret_cast<const SOCKADDR_IN6*>(own);
        return memcmp(&v6->sin6_addr, bytes, 16) == 0 && (scope == 0 || v6->sin6_scope_id == scope);
    }
};

// An address in one of the forms the platform's own parsers accept, with or
// without a port or brackets; false for any other name.
bool ParseAddress(const std::wstring& name, IpAddress& address) {
    IN_ADDR v4 = {};
    USHORT port = 0;
    if (RtlIpv4StringToAddressExW(name.c_str(), TRUE, &v4, &port) == 0) {
        address.family = AF_INET;
        memcpy(address.bytes, &v4, 4);
        return true;
    }
    IN6_ADDR v6 = {};
    if (RtlIpv6StringToAddressExW(name.c_str(), &v6, &address.scope, &port) != 0) return false;
    static const BYTE kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (memcmp(v6.u.Byte, kMappedPrefix, 12) == 0) {
        address.family = AF_INET;
        memcpy(address.bytes, v6.u.Byte + 12, 4);
        address.scope = 0;
        return true;
    }
    address.family = AF_INET6;
    memcpy(address.bytes, v6.u.Byte, 16);
    return true;
}

// Whether address is one of this computer's own unicast addresses. The IP
// helper library is loaded from the system folder for this question alone,
// so that hosts that never ask for an address do not load it.
bool IsOwnAddress(const IpAddress& address) {
    const UniqueModule helper(LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!helper) return false;
    using GetAdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
    const auto getAdaptersAddresses = reinterpret_cast<GetAdaptersAddressesFunction>(
        reinterpret_cast<void*>(GetProcAddress(helper.Get(), "GetAdaptersAddresses")));
    if (!getAdaptersAddresses) return false;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME;
    std::vector<ULONGLONG> buffer;  // the adapter records need 8-byte alignment
    ULONG size = 16 * 1024;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the calls: a few attempts, then no answer.
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size / sizeof(ULONGLONG) + 1, 0);
        size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        result = getAdaptersAddresses(address.family, flags, nullptr,
                                      reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS) return false;
    for (auto adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next)
        for (auto unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next)
            if (unicast->Address.lpSockaddr && address.Is(unicast->Address.lpSockaddr)) return true;
    return false;
}
}  // namespace

bool IsLocalComputer(std::wstring_view name) {
    if (name.empty()) return true;
    if (name.size() > 2 && name.substr(0, 2) == L"\\\\") name.remove_prefix(2);
    if (name == L".") return true;
    // An absolute DNS name ends in a dot and means the same as without it.
    std::wstring_view dns = name;
    if (dns.size() > 1 && dns.back() == L'.' && dns[dns.size() - 2] != L'.') dns.remove_suffix(1);
    if (SameName(dns, L"localhost")) return true;
    if (SameName(dns, NetBiosName())) return true;
    if (SameName(dns, DnsName(ComputerNameDnsHostname))) return true;
    if (SameName(dns, DnsName(ComputerNameDnsFullyQualified))) return true;
    IpAddress address;
    if (!ParseAddress(std::wstring(name), address)) return false;
    return address.IsLoopback() || IsOwnAddress(address);
}
