// Helpers shared by the test programs: scratch registry keys and folders that
// a test owns, backups of keys a test must change and give back, files built
// byte by byte, and finding and driving a modal dialog from a second thread.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <doctest/doctest.h>

// Failed comparisons of wide texts print them in UTF-8.
namespace doctest {
template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& text);
};
}  // namespace doctest

// A key under HKEY_CURRENT_USER\Software\QuarnverTest that the test owns;
// deleted when made and when destroyed.
class ScratchKey {
public:
    explicit ScratchKey(const std::wstring& name);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    HKEY Root() const { return HKEY_CURRENT_USER; }
    // Path below HKEY_CURRENT_USER.
    const std::wstring& Path() const { return m_path; }
    std::string PathA() const;
    HKEY Open() const;  // creates if missing; caller closes

private:
    std::wstring m_path;
};

// Moves a key tree aside for the test and puts it back afterwards, so a test
// may change keys the product reads (the Logon key, the Folders key).
class KeyBackup {
public:
    KeyBackup(HKEY root, const std::wstring& path);
    ~KeyBackup();
    KeyBackup(const KeyBackup&) = delete;
    KeyBackup& operator=(const KeyBackup&) = delete;

private:
    HKEY m_root;
    std::wstring m_path;
    std::wstring m_backupPath;
    bool m_existed = false;
};

// A folder under the temporary directory that the test owns.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Path ending in a backslash.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool RemoveTree(const std::string& path);

// Registry reads for assertions.
bool KeyExists(HKEY root, const std::wstring& path);
bool ReadRegValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* type,
                  std::vector<uint8_t>* data);
std::wstring ReadRegString(HKEY root, const std::wstring& path, const wchar_t* name);
void SetRegValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                 const void* data, DWORD size);
void SetRegString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value);
void DeleteTree(HKEY root, const std::wstring& path);
// Every key and value below parent\path in one registry view (KEY_WOW64_*), as
// text: "[key]" lines and "key:name=type:data" lines, keys named from `shown`
// (default: path).
void AppendTree(HKEY parent, const std::wstring& path, REGSAM view, std::wstring* out,
                const std::wstring& shown = std::wstring());

// Waits up to timeoutMs for a top-level window of this process with the given
// caption (and, if given, window class); null on time-out.
HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs = 10000, const wchar_t* cls = L"#32770");
// Waits until the window is gone.
bool WaitForWindowGone(HWND hWnd, DWORD timeoutMs = 10000);
std::wstring WindowText(HWND hWnd);
std::wstring ItemText(HWND dialog, int id);
// Window procedure in the side-by-side comctl32 (Wine's GCLP_HMODULE names the host), and a theme.
bool IsThemedV6Control(HWND control);

// Runs modal() on this thread while driver() runs on a second thread; returns
// once both have finished.
void RunModal(const std::function<void()>& modal, const std::function<void()>& driver);

// UTF-8 form of wide text, for messages.
std::string WideToUtf8(const std::wstring& text);

// Wide text from UTF-8 source literals.
std::wstring Utf8ToWide(const char* utf8);
// Narrow text in the ANSI code page from UTF-8 source literals.
std::string Utf8ToAnsi(const char* utf8);

// Names in scripts that one ANSI code page or another cannot spell (1251 has
// no Greek and no "ë", 1252 no Cyrillic and no Greek, neither has "✓"): the
// library must hand each of them on unchanged.
struct ScriptNames {
    const wchar_t* user;
    const wchar_t* password;
    const wchar_t* server;
};
extern const ScriptNames kScriptNames[3];

// This computer's name and the Windows user name, as the platform reports them.
std::string ComputerNameA();
std::string UserNameA();
std::wstring ComputerNameW();
std::wstring UserNameW();

