#include "common/registry_key.h"
#include <cstdint>
#include <cstring>
#include <vector>

RegistryKey::RegistryKey() = default;

RegistryKey::~RegistryKey() { Close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_strKeyPath(std::move(other.m_strKeyPath)), m_hKey(std::move(other.m_hKey)),
      m_lLastError(other.m_lLastError) {
    other.m_strKeyPath.clear();
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_strKeyPath = std::move(other.m_strKeyPath);
        other.m_strKeyPath.clear();
        m_hKey = std::move(other.m_hKey);
        m_lLastError = other.m_lLastError;
    }
    return *this;
}

bool RegistryKey::Close() {
    m_strKeyPath.clear();
    if (m_hKey.IsValid()) m_lLastError = RegCloseKey(m_hKey.Take());
    return m_lLastError == ERROR_SUCCESS;
}

bool RegistryKey::Create(HKEY root, const char* subKey, const char* keyClass, DWORD options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security, DWORD* disposition) {
    Close();
    m_strKeyPath = subKey ? subKey : "";
    DWORD created = 0;
    m_lLastError = RegCreateKeyExA(root, m_strKeyPath.c_str(), 0, const_cast<char*>(keyClass), options, access,
                                   security, m_hKey.Receive(), &created);
    if (disposition) *disposition = created;
    if (m_lLastError != ERROR_SUCCESS) {
        m_hKey.Take();  // the registry leaves no key behind a failed call
        m_strKeyPath.clear();
        return false;
    }
    return true;
}

bool RegistryKey::Open(HKEY root, const char* subKey, REGSAM access) {
    Close();
    m_strKeyPath = subKey ? subKey : "";
    m_lLastError = RegOpenKeyExA(root, m_strKeyPath.c_str(), 0, access, m_hKey.Receive());
    if (m_lLastError != ERROR_SUCCESS) {
        m_hKey.Take();
        m_strKeyPath.clear();
        return false;
    }
    return true;
}

DWORD RegistryKey::GetValueType(const char* name) {
    DWORD type = 0;
    m_lLastError = RegQueryValueExA(m_hKey.Get(), name, nullptr, &type, nullptr, nullptr);
    return m_lLastError == ERROR_SUCCESS ? type : 0;
}

DWORD RegistryKey::GetValueLength(const char* name) {
    DWORD size = 0;
    m_lLastError = RegQueryValueExA(m_hKey.Get(), name, nullptr, nullptr, nullptr, &size);
    return m_lLastError == ERROR_SUCCESS ? size : 0;
}

std::string RegistryKey::ReadString(const char* name, const char* defaultText) {
    const std::string fallback = defaultText ? defaultText : "";
    const DWORD length = GetValueLength(name);
    if (length == 0) return fallback;
    try {
        std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
        DWORD size = length;
        m_lLastError = RegQueryValueExA(m_hKey.Get(), name, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (m_lLastError != ERROR_SUCCESS) return fallback;
        return std::string(buffer.data());  // cut at the first zero byte
    } catch (const std::bad_alloc&) {
        m_lLastError = ERROR_NOT_ENOUGH_MEMORY;
        return fallback;
    }
}

bool RegistryKey::WriteString(const char* name, const std::string& text) {
    // Stored up to the first zero byte, which is what a reader gets back.
    const size_t length = strlen(text.c_str());
    m_lLastError = RegSetValueExA(m_hKey.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(length + 1));
    return m_lLastError == ERROR_SUCCESS;
}

namespace {
DWORD LittleEndian(const uint8_t (&bytes)[4]) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
}
}  // namespace

DWORD RegistryKey::ReadDWORD(const char* name, DWORD defaultValue) {
    uint8_t bytes[4] = {};
    if (GetValueType(name) == REG_BINARY) {
        const DWORD length = GetValueLength(name);
        if (length > sizeof bytes) return defaultValue;
        if (ReadBinary(name, bytes, length) == 0) return defaultValue;
        return LittleEndian(bytes);
    }
    DWORD size = sizeof bytes;
    m_lLastError = RegQueryValueExA(m_hKey.Get(), name, nullptr, nullptr, bytes, &size);
    if (m_lLastError != ERROR_SUCCESS) return defaultValue;
    return LittleEndian(bytes);  // shorter data leaves the high bytes zero
}

bool RegistryKey::WriteDWORD(const char* name, DWORD value) {
    m_lLastError = RegSetValueExA(m_hKey.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value);
    return m_lLastError == ERROR_SUCCESS;
}

DWORD RegistryKey::ReadBinary(const char* name, void* buffer, DWORD size) {
    DWORD read = size;
    if (RegQueryValueExA(m_hKey.Get(), name, nullptr, nullptr, static_cast<BYTE*>(buffer), &read) != ERROR_SUCCESS)
        return 0;
    return read;
}
