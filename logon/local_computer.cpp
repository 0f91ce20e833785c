#include "logon/local_computer.h"
#include <winsock2.h>
#include <ws2ipdef.h>
// The header declares the address parsers of ntdll without C linkage.
extern "C" {
#include <mstcpip.h>
}
#include <windows.h>
#include <string>

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

// A loopback address in one of the forms the platform's own parsers accept.
bool IsLoopbackAddress(const std::wstring& name) {
    IN_ADDR v4 = {};
    USHORT port = 0;
    if (RtlIpv4StringToAddressExW(name.c_str(), TRUE, &v4, &port) == 0) return v4.S_un.S_un_b.s_b1 == 127;
    IN6_ADDR v6 = {};
    ULONG scope = 0;
    if (RtlIpv6StringToAddressExW(name.c_str(), &v6, &scope, &port) != 0) return false;
    const BYTE* bytes = v6.u.Byte;
    for (int i = 0; i < 10; ++i)
        if (bytes[i] != 0) return false;
    if (bytes[10] == 0 && bytes[11] == 0)  // ::1
        return bytes[12] == 0 && bytes[13] == 0 && bytes[14] == 0 && bytes[15] == 1;
    return bytes[10] == 0xFF && bytes[11] == 0xFF && bytes[12] == 127;  // ::ffff:127.x.x.x
}
}  // namespace

bool IsLocalComputer(std::wstring_view name) {
    if (name.empty()) return true;
    if (name.size() > 2 && name.substr(0, 2) == L"\\\\") name.remove_prefix(2);
    if (SameName(name, L"localhost") || name == L".") return true;
    if (SameName(name, NetBiosName())) return true;
    if (SameName(name, DnsName(ComputerNameDnsHostname))) return true;
    if (SameName(name, DnsName(ComputerNameDnsFullyQualified))) return true;
    return IsLoopbackAddress(std::wstring(name));
}
