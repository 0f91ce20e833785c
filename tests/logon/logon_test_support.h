// What the logon tests share: logon objects made through the built library's
// class object, the Logon key given back after each test, VARIANT arguments,
// and reading and driving the running logon dialog from a second thread.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <functional>
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "quarnver_h.h"
#include "test_support.h"
#include <doctest/doctest.h>

// Text in the ANSI code page (as the platform reports names) as UTF-16.
std::wstring AnsiToWide(const std::string& ansi);

// One entry of an icon group resource (RT_GROUP_ICON) as it is stored.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The built quarnver.dll, loaded once for the whole test program.
HMODULE QuarnverLibrary();
// A new logon object, and a new About box, through DllGetClassObject and CreateInstance.
ComPtr<IQuarn5Logon> NewLogon();
ComPtr<IQuarn5About> NewAbout();

// A single-threaded apartment for the calling thread.
class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// The current user's Logon key, emptied for the test and given back after it.
extern const wchar_t kLogonKey[];
class LogonKeyGuard {
public:
    LogonKeyGuard() : m_backup(HKEY_CURRENT_USER, kLogonKey) {}

private:
    KeyBackup m_backup;
};
// A value of the Logon key as text ("<missing>" when absent).
std::wstring Remembered(const wchar_t* name);
bool LogonKeyExists();
void Remember(const wchar_t* name, const std::wstring& value);
void RememberLevel(DWORD level);

// VARIANT arguments.
UniqueVariant Missing();
UniqueVariant Empty();
UniqueVariant Text(const std::wstring& text);
UniqueVariant Real(double value);
UniqueVariant Unsigned(ULONG value);

// The string properties of a logon object.
enum class Property { Client, User, Password, Server };
// The property's value; fills hr with the call's result and stays empty on failure.
std::wstring Get(IQuarn5Logon* logon, Property property, HRESULT* hr = nullptr);

struct InitializeResult {
    HRESULT hr;
    LONG out;
};
// Calls Initialize; omitted arguments are passed as "missing".
InitializeResult Initialize(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                            const VARIANT& user, const VARIANT& password);
InitializeResult Initialize(IQuarn5Logon* logon, const wchar_t* client);

// The logon dialog as the user sees it.
extern const wchar_t kLogonCaption[];
struct DialogView {
    bool found = false;
    std::wstring user, password, server;
    bool userEnabled = false, passwordEnabled = false, serverEnabled = false;
    bool userLabelEnabled = false, passwordLabelEnabled = false, serverLabelEnabled = false;
    bool browseEnabled = false;
};
DialogView ReadDialog(HWND dialog);
void TypeInto(HWND dialog, int id, const std::wstring& text);
void Click(HWND dialog, int id);

// Runs an Initialize that shows the dialog: driver gets the dialog's window
// (null when none appeared within the time-out) while the call runs on this
// thread. When the driver leaves the dialog open it is cancelled, so a test
// never hangs.
InitializeResult InitializeWithDialog(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                                      const VARIANT& user, const VARIANT& password,
                                      const std::function<void(HWND)>& driver);

// Runs an Initialize that must not show the dialog; sets *shown when a dialog
// appeared anyway (it is then cancelled).
InitializeResult InitializeSilently(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                                    const VARIANT& user, const VARIANT& password, bool* shown);
