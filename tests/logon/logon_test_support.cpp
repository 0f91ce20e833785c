#include "logon_test_support.h"
#include <atomic>
#include <thread>
#include "resources/resource.h"

const wchar_t kLogonKey[] = L"Software\\Velmora\\QUARN 5\\Logon";
const wchar_t kLogonCaption[] = L"Регистрация";

std::wstring AnsiToWide(const std::string& ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
    return wide;
}

HMODULE QuarnverLibrary() {
    static const HMODULE module = LoadLibraryA(QUARNVER_DLL);
    return module;
}

namespace {
// An object of `clsid` through DllGetClassObject and CreateInstance; null when either fails.
void CreateThroughClassObject(REFCLSID clsid, REFIID iid, void** object) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(QuarnverLibrary(), "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid())))
        factory->CreateInstance(nullptr, iid, object);
}
}  // namespace

ComPtr<IQuarn5Logon> NewLogon() {
    ComPtr<IQuarn5Logon> logon;
    CreateThroughClassObject(CLSID_Quarn5Logon, IID_IQuarn5Logon, logon.ReceiveVoid());
    return logon;
}

ComPtr<IQuarn5About> NewAbout() {
    ComPtr<IQuarn5About> about;
    CreateThroughClassObject(CLSID_Quarn5About, IID_IQuarn5About, about.ReceiveVoid());
    return about;
}

std::wstring Remembered(const wchar_t* name) { return ReadRegString(HKEY_CURRENT_USER, kLogonKey, name); }

bool LogonKeyExists() { return KeyExists(HKEY_CURRENT_USER, kLogonKey); }

void Remember(const wchar_t* name, const std::wstring& value) {
    SetRegString(HKEY_CURRENT_USER, kLogonKey, name, value);
}

void RememberLevel(DWORD level) {
    SetRegValue(HKEY_CURRENT_USER, kLogonKey, L"Level", REG_DWORD, &level, sizeof level);
}

UniqueVariant Missing() {
    UniqueVariant v;
    V_VT(v.Get()) = VT_ERROR;
    V_ERROR(v.Get()) = DISP_E_PARAMNOTFOUND;
    return v;
}

UniqueVariant Empty() { return UniqueVariant(); }

UniqueVariant Text(const std::wstring& text) {
    UniqueVariant v;
    V_VT(v.Get()) = VT_BSTR;
    V_BSTR(v.Get()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

UniqueVariant Real(double value) {
    UniqueVariant v;
    V_VT(v.Get()) = VT_R8;
    V_R8(v.Get()) = value;
    return v;
}

UniqueVariant Unsigned(ULONG value) {
    UniqueVariant v;
    V_VT(v.Get()) = VT_UI4;
    V_UI4(v.Get()) = value;
    return v;
}

std::wstring Get(IQuarn5Logon* logon, Property property, HRESULT* hr) {
    BSTR value = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0xdeadbeef));
    HRESULT result = E_NOTIMPL;
    switch (property) {
    case Property::Client: result = logon->get_Client(&value); break;
    case Property::User: result = logon->get_User(&value); break;
    case Property::Password: result = logon->get_Password(&value); break;
    case Property::Server: result = logon->get_Server(&value); break;
    }
    if (hr) *hr = result;
    if (FAILED(result)) return value == nullptr ? std::wstring() : std::wstring(L"<out value not cleared>");
    if (!value) return L"<null BSTR>";
    UniqueBstr owned(value);
    return std::wstring(owned.Get(), owned.Length());
}

InitializeResult Initialize(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                            const VARIANT& user, const VARIANT& password) {
    UniqueBstr clientName(client ? SysAllocString(client) : nullptr);
    InitializeResult result{E_NOTIMPL, -1};
    result.hr = logon->Initialize(clientName.Get(), server, user, password, &result.out);
    return result;
}

InitializeResult Initialize(IQuarn5Logon* logon, const wchar_t* client) {
    const UniqueVariant missing = Missing();
    return Initialize(logon, client, *missing.Get(), *missing.Get(), *missing.Get());
}

DialogView ReadDialog(HWND dialog) {
    DialogView view;
    if (!dialog) return view;
    view.found = true;
    view.user = ItemText(dialog, IDC_LOGON_USER);
    view.password = ItemText(dialog, IDC_LOGON_PASSWORD);
    view.server = ItemText(dialog, IDC_LOGON_SERVER);
    auto enabled = [dialog](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; };
    view.userEnabled = enabled(IDC_LOGON_USER);
    view.passwordEnabled = enabled(IDC_LOGON_PASSWORD);
    view.serverEnabled = enabled(IDC_LOGON_SERVER);
    view.userLabelEnabled = enabled(IDC_LOGON_USER_LABEL);
    view.passwordLabelEnabled = enabled(IDC_LOGON_PASSWORD_LABEL);
    view.serverLabelEnabled = enabled(IDC_LOGON_SERVER_LABEL);
    view.browseEnabled = enabled(IDC_LOGON_BROWSE);
    return view;
}

void TypeInto(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

InitializeResult InitializeWithDialog(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                                      const VARIANT& user, const VARIANT& password,
                                      const std::function<void(HWND)>& driver) {
    InitializeResult result{E_NOTIMPL, -1};
    RunModal([&] { result = Initialize(logon, client, server, user, password); },
             [&] {
                 const HWND dialog = WaitForWindow(kLogonCaption);
                 driver(dialog);
                 if (dialog && !WaitForWindowGone(dialog, 3000)) {
                     Click(dialog, IDCANCEL);
                     WaitForWindowGone(dialog);
                 }
             });
    return result;
}

InitializeResult InitializeSilently(IQuarn5Logon* logon, const wchar_t* client, const VARIANT& server,
                                    const VARIANT& user, const VARIANT& password, bool* shown) {
    InitializeResult result{E_NOTIMPL, -1};
    std::atomic<bool> done{false};
    *shown = false;
    RunModal(
        [&] {
            result = Initialize(logon, client, server, user, password);
            done = true;
        },
        [&] {
            while (!done) {
                if (const HWND dialog = WaitForWindow(kLogonCaption, 50)) {
                    *shown = true;
                    Click(dialog, IDCANCEL);
                    WaitForWindowGone(dialog);
                }
            }
        });
    return result;
}
