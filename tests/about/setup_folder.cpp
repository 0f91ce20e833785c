#include "setup_folder.h"
#include <doctest/doctest.h>

namespace {
const wchar_t kFoldersKey[] = L"Software\\Velmora\\QUARN 5\\Folders";

std::wstring WideFromAnsi(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}
}  // namespace

SetupFolder::SetupFolder(const std::string& name, bool trailingSeparator)
    : m_backup(HKEY_LOCAL_MACHINE, kFoldersKey), m_folder(name) {
    std::string recorded = m_folder.Path();
    if (!trailingSeparator) recorded.pop_back();
    SetRegString(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup", WideFromAnsi(recorded));
    REQUIRE(ReadRegString(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup") == WideFromAnsi(recorded));
}

void SetupFolder::Add(const std::string& fileName, const std::vector<uint8_t>& bytes) const {
    REQUIRE(WriteFileBytes(m_folder.File(fileName), bytes));
}

void SetupFolder::Add(const std::wstring& fileName, const std::vector<uint8_t>& bytes) const {
    const HANDLE file = CreateFileW((WideFromAnsi(m_folder.Path()) + m_subfolder + fileName).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    REQUIRE(wrote);
    REQUIRE(written == bytes.size());
}

void SetupFolder::ForgetSetupValue() const {
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFoldersKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS);
    RegDeleteValueW(key, L"Setup");
    RegCloseKey(key);
}

void SetupFolder::RecordSubfolder(const std::wstring& name) {
    m_subfolder = name + L"\\";
    const std::wstring path = WideFromAnsi(m_folder.Path()) + m_subfolder;
    REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
    SetRegString(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup", path);
}
