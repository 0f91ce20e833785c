#include "common/registry_key.h"
#include <cstdint>
#include <cstring>
#include <vector>
#include "common/ansi_string.h"

RegistryKey::RegistryKey() = default;

RegistryKey::~RegistryKey() { Close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_wstrKeyPath(std::move(other.m_wstrKeyPath)), m_hKey(std::move(other.m_hKey)),
      m_lLastError(other.m_lLastError) {
    other.m_wstrKeyPath.clear();
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_wstrKeyPath = std::move(other.m_wstrKeyPath);
        other.m_wstrKeyPath.clear();
        m_hKey = std::move(other.m_hKey);
        m_lLastError = other.m_lLastError;
    }
    return *this;
}

bool RegistryKey::Close() {
    m_wstrKeyPath.clear();
    if (m_hKey.IsValid()) m_lLastError = RegCloseKey(m_hKey.Take());
    return m_lLastError == ERROR_SUCCESS;
}

bool RegistryKey::Create(HKEY root, const wchar_t* subKey, const wchar_t* keyClass, DWORD options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security, DWORD* disposition) {
    Close();
    m_wstrKeyPath = subKey ? subKey : L"";
    DWORD created = 0;
    m_lLastError = RegCreateKeyExW(root, m_wstrKeyPath.c_str(), 0, const_cast<wchar_t*>(keyClass), options, access,
                                   security, m_hKey.Receive(), &created);
    if (disposition) *disposition = created;
    if (m_lLastError != ERROR_SUCCESS) {
        m_hKey.Take();  // the registry leaves no key behind a failed call
        m_wstrKeyPath.clear();
        return false;
    }
    return true;
}

bool RegistryKey::Open(HKEY root, const wchar_t* subKey, REGSAM access) {
    Close();
    m_wstrKeyPath = subKey ? subKey : L"";
    m_lLastError = RegOpenKeyExW(root, m_wstrKeyPath.c_str(), 0, access, m_hKey.Receive());
    if (m_lLastError != ERROR_SUCCESS) {
        m_hKey.Take();
        m_wstrKeyPath.clear();
        return false;
    }
    return true;
}

DWORD RegistryKey::GetValueType(const wchar_t* name) {
    DWORD type = 0;
    m_lLastError = RegQueryValueExW(m_hKey.Get(), name, nullptr, &type, nullptr, nullptr);
    return m_lLastError == ERROR_SUCCESS ? type : 0;
}

DWORD RegistryKey::GetValueLength(const wchar_t* name) {
    DWORD size = 0;
    m_lLastError = RegQueryValueExW(m_hKey.Get(), name, nullptr, nullptr, nullptr, &size);
    return m_lLastError == ERROR_SUCCESS ? size : 0;
}

std::wstring RegistryKey::ReadString(const wchar_t* name, const wchar_t* defaultText) {
    const std::wstring fallback = defaultText ? defaultText : L"";
    // Most values fit the buffer on the stack and take one query; longer ones
    // take a second into a buffer of their size. Two zero bytes more than the
    // data: the text ends in a zero character whatever the data hold. Both
    // buffers are wiped on every way out: the value may be a password.
    constexpr DWORD kLocalBytes = 512;
    uint8_t local[kLocalBytes + sizeof(wchar_t)] = {};
    std::vector<uint8_t> heap;
    struct Wipe {
        uint8_t* local;
        size_t localBytes;
        std::vector<uint8_t>& heap;
        ~Wipe() {
            SecureZeroMemory(local, localBytes);
            SecureZeroMemory(heap.data(), heap.size());
        }
    } wipe{local, sizeof local, heap};
    uint8_t* buffer = local;
    DWORD type = 0;
    DWORD size = kLocalBytes;
    m_lLastError = RegQueryValueExW(m_hKey.Get(), name, nullptr, &type, buffer, &size);
    try {
        if (m_lLastError == ERROR_MORE_DATA) {
            heap.assign(static_cast<size_t>(size) + sizeof(wchar_t), 0);
            buffer = heap.data();
            m_lLastError = RegQueryValueExW(m_hKey.Get(), name, nullptr, &type, buffer, &size);
        }
        if (m_lLastError != ERROR_SUCCESS || size == 0) return fallback;
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            // Cut at the first zero character.
            const wchar_t* units = reinterpret_cast<const wchar_t*>(buffer);
            return std::wstring(units, wcsnlen(units, size / sizeof(wchar_t)));
        }
        const char* bytes = reinterpret_cast<const char*>(buffer);
        return WideFromAnsi(bytes, strnlen(bytes, size));  // cut at the first zero byte
    } catch (const std::bad_alloc&) {
        m_lLastError = ERROR_NOT_ENOUGH_MEMORY;
        return fallback;
    }
}

bool RegistryKey::WriteString(const wchar_t* name, const wchar_t* text) {
    // Stored up to the first zero character, which is what a reader gets back.
    const size_t length = wcslen(text);
    m_lLastError = RegSetValueExW(m_hKey.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                  static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
    return m_lLastError == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const wchar_t* name) {
    m_lLastError = RegDeleteValueW(m_hKey.Get(), name);
    return m_lLastError == ERROR_SUCCESS || m_lLastError == ERROR_FILE_NOT_FOUND;
}

namespace {
DWORD LittleEndian(const uint8_t (&bytes)[4]) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
}
}  // namespace

DWORD RegistryKey::ReadDWORD(const wchar_t* name, DWORD defaultValue) {
    // One query: data longer than 4 bytes does not fit and gives the default.
    uint8_t bytes[4] = {};
    DWORD type = 0;
    DWORD size = sizeof bytes;
    m_lLastError = RegQueryValueExW(m_hKey.Get(), name, nullptr, &type, bytes, &size);
    if (m_lLastError != ERROR_SUCCESS) return defaultValue;
    if (type == REG_BINARY && size == 0) return defaultValue;
    return LittleEndian(bytes);  // shorter data leaves the high bytes zero
}

bool RegistryKey::WriteDWORD(const wchar_t* name, DWORD value) {
    m_lLastError = RegSetValueExW(m_hKey.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value);
    return m_lLastError == ERROR_SUCCESS;
}

DWORD RegistryKey::ReadBinary(const wchar_t* name, void* buffer, DWORD size) {
    DWORD read = size;
    if (RegQueryValueExW(m_hKey.Get(), name, nullptr, nullptr, static_cast<BYTE*>(buffer), &read) != ERROR_SUCCESS)
        return 0;
    return read;
}
