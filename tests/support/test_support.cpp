#include "test_support.h"
#include <shlwapi.h>
#include <uxtheme.h>
#include <thread>

namespace {
const wchar_t kTestRoot[] = L"Software\\QuarnverTest";
}

ScratchKey::ScratchKey(const std::wstring& name) : m_path(std::wstring(kTestRoot) + L"\\" + name) {
    DeleteTree(HKEY_CURRENT_USER, m_path);
}

ScratchKey::~ScratchKey() {
    DeleteTree(HKEY_CURRENT_USER, m_path);
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestRoot);  // only goes when empty
}

std::string ScratchKey::PathA() const {
    std::string s;
    for (wchar_t c : m_path) s += static_cast<char>(c);
    return s;
}

HKEY ScratchKey::Open() const {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

KeyBackup::KeyBackup(HKEY root, const std::wstring& path)
    : m_root(root), m_path(path),
      m_backupPath(std::wstring(kTestRoot) + L"\\Backup" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                   std::to_wstring(reinterpret_cast<uintptr_t>(this))) {
    HKEY source = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS) {
        HKEY backup = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, m_backupPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &backup, nullptr);
        RegCopyTreeW(source, nullptr, backup);
        RegCloseKey(backup);
        RegCloseKey(source);
        m_existed = true;
    }
    DeleteTree(root, path);
}

KeyBackup::~KeyBackup() {
    DeleteTree(m_root, m_path);
    if (m_existed) {
        HKEY backup = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_backupPath.c_str(), 0, KEY_READ, &backup) == ERROR_SUCCESS) {
            HKEY target = nullptr;
            RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr);
            RegCopyTreeW(backup, nullptr, target);
            RegCloseKey(target);
            RegCloseKey(backup);
        }
        DeleteTree(HKEY_CURRENT_USER, m_backupPath);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestRoot);
}

ScratchFolder::ScratchFolder(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + "quarnver_test_" + name + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    uint8_t buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.insert(bytes.end(), buffer, buffer + read);
    CloseHandle(file);
    return bytes;
}

namespace {
// Wide, so that files whose names the ANSI code page cannot spell go too.
bool RemoveTreeW(std::wstring dir) {
    if (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeW(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryW(dir.c_str()) != FALSE;
}
}  // namespace

bool RemoveTree(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0],
                                      static_cast<int>(wide.size()));
    if (n <= 0) return false;
    wide.resize(static_cast<size_t>(n));
    return RemoveTreeW(wide);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ReadRegValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* type,
                  std::vector<uint8_t>* data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data->assign(size, 0);
        rc = RegQueryValueExW(key, name, nullptr, type, data->empty() ? nullptr : data->data(), &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::wstring ReadRegString(HKEY root, const std::wstring& path, const wchar_t* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!ReadRegValue(root, path, name, &type, &data)) return L"<missing>";
    std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
}

void SetRegValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
                 DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetRegString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    SetRegValue(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void DeleteTree(HKEY root, const std::wstring& path) { RegDeleteTreeW(root, path.c_str()); RegDeleteKeyW(root, path.c_str()); }

namespace {
struct FindRequest {
    std::wstring caption;
    const wchar_t* cls;
    HWND found = nullptr;
};

BOOL CALLBACK FindWindowOfProcess(HWND hWnd, LPARAM lParam) {
    auto* request = reinterpret_cast<FindRequest*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hWnd)) return TRUE;
    if (request->cls) {
        wchar_t cls[64] = {};
        GetClassNameW(hWnd, cls, 64);
        if (lstrcmpW(cls, request->cls) != 0) return TRUE;
    }
    if (WindowText(hWnd) != request->caption) return TRUE;
    request->found = hWnd;
    return FALSE;
}
}  // namespace

HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, const wchar_t* cls) {
    const DWORD start = GetTickCount();
    do {
        FindRequest request{caption, cls};
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&request));
        if (request.found) return request.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitForWindowGone(HWND hWnd, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(hWnd)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::wstring WindowText(HWND hWnd) {
    wchar_t buffer[4096];
    const int n = GetWindowTextW(hWnd, buffer, 4096);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

bool IsThemedV6Control(HWND control) {
    HMODULE module = nullptr;  // null: the program's own file
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(control, GWLP_WNDPROC)), &module);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return StrStrIW(path, L"\\winsxs\\") && StrStrIW(path, L"\\comctl32.dll") && GetWindowTheme(control);
}

std::wstring ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) return L"<no control>";
    // WM_GETTEXT works across threads, unlike GetWindowText for another thread's controls.
    const LRESULT length = SendMessageW(item, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(item, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(copied));
    return text;
}

void RunModal(const std::function<void()>& modal, const std::function<void()>& driver) {
    std::thread thread(driver);
    modal();
    thread.join();
}

doctest::String doctest::StringMaker<std::wstring>::convert(const std::wstring& text) {
    return ("\"" + WideToUtf8(text) + "\"").c_str();
}

std::string WideToUtf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Utf8ToWide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring s(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &s[0], n);
    s.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return s;
}

std::string Utf8ToAnsi(const char* utf8) {
    const std::wstring wide = Utf8ToWide(utf8);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return s;
}

std::string ComputerNameA() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return name;
}

std::string UserNameA() {
    char name[512] = {};
    DWORD size = sizeof name;
    GetUserNameA(name, &size);
    return name;
}

std::wstring ComputerNameW() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = ARRAYSIZE(name);
    GetComputerNameW(name, &size);
    return name;
}

std::wstring UserNameW() {
    wchar_t name[512] = {};
    DWORD size = ARRAYSIZE(name);
    GetUserNameW(name, &size);
    return name;
}

const ScriptNames kScriptNames[3] = {
    {L"Zoë Ørsted", L"pässwörd Σ✓", L"ΣΕΡΒΕΡ-1"},
    {L"Ярослав Петров", L"пароль Ωmega", L"SÉRVEUR-Я"},
    {L"Ωmega Zoë", L"表示 ソ✓", L"サーバー"},
};

void AppendTree(HKEY parent, const std::wstring& path, REGSAM view, std::wstring* out, const std::wstring& shown) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    const std::wstring name = shown.empty() ? path : shown;
    *out += L"[" + name + L"]\n";
    wchar_t text[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512, size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, text, &length, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        *out += name + L":" + std::wstring(text, length) + L"=" + std::to_wstring(type) + L":" +
                std::wstring(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t)) + L"\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, text, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        AppendTree(key, std::wstring(text, length), view, out, name + L"\\" + std::wstring(text, length));
    }
    RegCloseKey(key);
}
