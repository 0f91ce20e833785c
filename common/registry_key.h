// An owning wrapper of one open registry key. Readers answer with the
// caller's default when a value is missing or cannot be read; every call
// answers with a plain result and records the Win32 code of the registry call
// behind it, so nothing is ever thrown.
#pragma once
#include <windows.h>
#include <string>
#include "common/unique_handle.h"

class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens the key below root, creating it and every missing parent. Closes
    // whatever key the object held first. On failure the object is closed.
    // NOTE: ask for the access the caller uses; a standard user gets no write
    // access below HKEY_LOCAL_MACHINE, so a reader must not ask for it.
    [[nodiscard]] bool Create(HKEY root, const wchar_t* subKey, const wchar_t* keyClass = nullptr, DWORD options = 0,
                REGSAM access = KEY_READ | KEY_WRITE, LPSECURITY_ATTRIBUTES security = nullptr,
                DWORD* disposition = nullptr);
    // Opens an existing key below root; a missing key is not created. Closes
    // whatever key the object held first. On failure the object is closed.
    [[nodiscard]] bool Open(HKEY root, const wchar_t* subKey, REGSAM access = KEY_READ);
    // Closes the held key; true when the last recorded result is success.
    bool Close();

    // The value's registry type (REG_SZ, REG_BINARY, REG_DWORD, ...), 0 on failure.
    DWORD GetValueType(const wchar_t* name);
    // The byte length of the value's data, 0 on failure or for empty data.
    DWORD GetValueLength(const wchar_t* name);

    // The value as text, cut at the first zero character. The data of
    // REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ are UTF-16; the bytes of any
    // other type are taken as text in the ANSI code page, as narrow readers
    // of the value see them. Missing or empty data gives defaultText (null:
    // empty).
    // NOTE: a REG_SZ holding only its terminating zero reads as "", not as
    // the default. Its scratch buffer is wiped before it is freed, so a
    // secret read into a SecretString (TakeSecret) leaves no other copy.
    std::wstring ReadString(const wchar_t* name, const wchar_t* defaultText = nullptr);
    // Stores text up to its first zero character as REG_SZ with its
    // terminating zero.
    [[nodiscard]] bool WriteString(const wchar_t* name, const std::wstring& text) { return WriteString(name, text.c_str()); }
    [[nodiscard]] bool WriteString(const wchar_t* name, const wchar_t* text);
    // Deletes the value; true when it is gone, also when it was not there.
    [[nodiscard]] bool DeleteValue(const wchar_t* name);
    // The value as a 32-bit number, least significant byte first. A
    // REG_BINARY of 1 to 4 bytes counts too (missing high bytes are zero);
    // data longer than 4 bytes, or a missing value, gives defaultValue.
    DWORD ReadDWORD(const wchar_t* name, DWORD defaultValue);
    [[nodiscard]] bool WriteDWORD(const wchar_t* name, DWORD value);
    // Reads up to size bytes of the value's data; the number of bytes read,
    // 0 on failure. Does not record its result.
    DWORD ReadBinary(const wchar_t* name, void* buffer, DWORD size);

    // Win32 result of the last recorded registry call.
    LONG LastError() const { return m_lLastError; }
    HKEY Handle() const { return m_hKey.Get(); }
    bool IsOpen() const { return m_hKey.IsValid(); }
    // Path of the open key below its root; empty when closed.
    const std::wstring& KeyPath() const { return m_wstrKeyPath; }

private:
    std::wstring m_wstrKeyPath;
    UniqueHkey m_hKey;
    LONG m_lLastError = ERROR_SUCCESS;
};
