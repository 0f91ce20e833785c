// demo_client.exe: a client application of quarnver.dll from start to end.
// It logs on to the (stand-in) translation server through Quarn5Logon, tells
// what the logon object and the server received, and shows the About box of
// Quarn5About with its own title, icon and version and the notices of some
// sample components. Run by scripts/demo; see demo_options.h for the switches.
//
// The registry ends as it began: the remembered logon settings and the setup
// folder value are put back when the program ends.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <memory>
#include <optional>
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/unique_handle.h"
#include "server/script_text.h"
#include "demo_ids.h"
#include "demo_options.h"
#include "demo_report.h"
#include "dialog_driver.h"
#include "quarnver_h.h"
#include "sample_notices.h"
#include "saved_registry_values.h"
#include "standin_control.h"
#include "window_capture.h"

namespace {

const wchar_t kLogonKey[] = L"Software\\Velmora\\QUARN 5\\Logon";
const wchar_t kFoldersKey[] = L"Software\\Velmora\\QUARN 5\\Folders";
constexpr int kLogonUserField = 201;      // rows of the logon dialog
constexpr int kLogonPasswordField = 202;
constexpr int kAboutNotices = 1001;      // the About box's list of notices

struct ComApartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT Long(long value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// Reads one of the logon object's string properties.
std::wstring Property(IQuarn5Logon* logon, HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*getter)(BSTR*)) {
    UniqueBstr value;
    const HRESULT hr = (logon->*getter)(value.Receive());
    if (FAILED(hr)) return HresultText(hr);
    return value.Get() ? std::wstring(value.Get(), value.Length()) : std::wstring();
}

std::wstring DescribeArgument(const StandInConnectArgument& argument) {
    if (argument.standInServer) return L"stand-in server #" + std::to_wstring(argument.serverSerial);
    if (argument.type == VT_ERROR && argument.text == L"0x80020004") return L"(omitted)";
    if (argument.type == VT_BSTR) return L"\"" + argument.text + L"\"";
    return argument.text.empty() ? L"(empty)" : argument.text;
}

void ReportConnects(DemoReport& report) {
    for (const StandInConnectRecord& record : ReadStandInConnects()) {
        std::wstring line = L"  ";
        line += StandInKindName(record.kind);
        line += L" #" + std::to_wstring(record.objectSerial) + L" (process " + std::to_wstring(record.processId) +
                L"): Connect(";
        for (size_t i = 0; i < record.arguments.size(); ++i)
            line += (i ? L", " : L"") + DescribeArgument(record.arguments[i]);
        line += L") -> " + HresultText(record.result);
        report.Line(line);
    }
}

// The logon dialog driven for a run without a person: typed values, a
// picture, OK.
void DriveLogon(HWND dialog, const DemoOptions& options, DemoReport& report) {
    if (IsWindowEnabled(GetDlgItem(dialog, kLogonUserField)))
        SetDlgItemTextW(dialog, kLogonUserField, Utf16FromUtf8("Оператор").c_str());
    if (IsWindowEnabled(GetDlgItem(dialog, kLogonPasswordField)))
        SetDlgItemTextW(dialog, kLogonPasswordField, L"demo");
    WaitForPaint(dialog);
    if (!options.shotsFolder.empty()) {
        const std::wstring path = options.shotsFolder + L"logon-dialog.bmp";
        report.Line(CaptureWindowToBmp(dialog, path) ? L"  picture of the logon dialog: " + path
                                                     : L"  could not take the picture of the logon dialog");
    }
    PressButton(dialog, IDOK);
}

void DriveAbout(HWND dialog, const DemoOptions& options, DemoReport& report) {
    // The list gets the focus, which selects all of it and scrolls to its end;
    // the picture shows it from the top, as after a click into the list.
    HWND notices = GetDlgItem(dialog, kAboutNotices);
    SendMessageW(notices, EM_SETSEL, 0, 0);
    SendMessageW(notices, EM_SCROLLCARET, 0, 0);
    WaitForPaint(dialog);
    if (!options.shotsFolder.empty()) {
        const std::wstring path = options.shotsFolder + L"about-box.bmp";
        report.Line(CaptureWindowToBmp(dialog, path) ? L"  picture of the About box: " + path
                                                     : L"  could not take the picture of the About box");
    }
    PressButton(dialog, IDCANCEL);
}

// Logs on and shows what the logon object and the stand-ins received.
// False when the demo cannot go on.
bool RunLogon(const DemoOptions& options, DemoReport& report) {
    ComPtr<IQuarn5Logon> logon;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5Logon, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5Logon,
                                  logon.ReceiveVoid());
    if (FAILED(hr)) {
        report.Line(L"demo: cannot create Quarn5Logon: " + HresultText(hr));
        report.Line(L"demo: is quarnver.dll registered? (regsvr32 quarnver.dll; scripts/demo does it)");
        return false;
    }
    ResetStandIns();
    // The stand-in server would otherwise stay a minute after the demo, and
    // with it the demo's virtual desktop.
    SetStandInServerIdleTime(1000);
    logon->put_Level(options.level);
    report.Line(L"Logon: client \"" + options.client + L"\", Level " + std::to_wstring(options.level) +
                ((options.level & 7) ? L"" : L" (no row open: silent logon)"));

    const bool dialogShown = (options.level & 7) != 0;
    std::unique_ptr<DialogDriver> driver;
    if (options.drive && dialogShown)
        driver = std::make_unique<DialogDriver>(Utf16FromUtf8("Регистрация"),
                                                [&](HWND d) { DriveLogon(d, options, report); });
    else if (dialogShown)
        report.Line(L"  the logon dialog is open: fill it in and press OK");

    UniqueBstr client(SysAllocStringLen(options.client.data(), static_cast<UINT>(options.client.size())));
    long confirmed = 0;
    hr = logon->Initialize(client.Get(), Missing(), Missing(), Missing(), &confirmed);
    if (driver && !driver->Finish()) {
        report.Line(L"  the logon dialog did not appear");
        return false;
    }

    if (hr == REGDB_E_CLASSNOTREG) {
        report.Line(L"demo: the translation server stand-in is not registered: " + HresultText(hr));
        report.Line(L"demo: register it with: wine quarn_standin_server.exe /RegServer (scripts/demo does it)");
        return false;
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE)) {
        report.Line(L"demo: the logon dialog could not be created (" + HresultText(hr) +
                    L"); is there an X display?");
        return false;
    }
    if (FAILED(hr)) {
        report.Line(L"demo: Initialize failed: " + HresultText(hr));
        return false;
    }
    if (!confirmed) {
        report.Line(L"  the logon was cancelled; nothing was remembered and nothing connected");
        return true;
    }
    report.Line(L"  logged on (Initialize gave 1)");
    report.Line(L"  Client:   " + Property(logon.Get(), &IQuarn5Logon::get_Client));
    report.Line(L"  User:     " + Property(logon.Get(), &IQuarn5Logon::get_User));
    report.Line(L"  Server:   " + Property(logon.Get(), &IQuarn5Logon::get_Server));
    report.Line(L"  Password: " + std::to_wstring(Property(logon.Get(), &IQuarn5Logon::get_Password).size()) +
                L" characters");

    ComPtr<IUnknown> server, control;
    hr = logon->GetQuarnSvrDirections(server.Receive());
    if (FAILED(hr)) {
        report.Line(L"demo: GetQuarnSvrDirections failed: " + HresultText(hr));
        return false;
    }
    hr = logon->GetQuarnCtlDirections(control.Receive());
    if (FAILED(hr)) {
        report.Line(L"demo: GetQuarnCtlDirections failed: " + HresultText(hr));
        return false;
    }
    report.Line(L"Server object and directions control, as the stand-ins recorded their Connect calls:");
    ReportConnects(report);
    return true;
}

// Shows the About box with the sample notices; false when the demo could not
// do its part (the box may still have been shown).
bool RunAbout(const DemoOptions& options, DemoReport& report) {
    std::wstring error;
    const int files = WriteSampleNotices(options.setupFolder, &error);
    if (!error.empty()) report.Line(L"demo: " + error);
    report.Line(L"About box: " + std::to_wstring(files) + L" sample notice files in " + options.setupFolder);

    ComPtr<IQuarn5About> about;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5About, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5About,
                                  about.ReceiveVoid());
    if (FAILED(hr)) {
        report.Line(L"demo: cannot create Quarn5About: " + HresultText(hr));
        return false;
    }
    SavedRegistryValues folders(HKEY_LOCAL_MACHINE, kFoldersKey, {L"Setup"});
    UniqueHkey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFoldersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                        nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(key.Get(), L"Setup", 0, REG_SZ, reinterpret_cast<const BYTE*>(options.setupFolder.c_str()),
                       static_cast<DWORD>((options.setupFolder.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        report.Line(L"demo: cannot record the setup folder; the About box will list no notices");
        return false;
    }
    key.Close();

    std::unique_ptr<DialogDriver> driver;
    if (options.drive)
        driver = std::make_unique<DialogDriver>(Utf16FromUtf8("О программе"),
                                                [&](HWND d) { DriveAbout(d, options, report); });
    else
        report.Line(L"  the About box is open: close it to end the demo");
    hr = about->DlgAbout(Long(IDS_DEMO_TITLE), Long(IDI_DEMO_CLIENT));
    const bool shown = !driver || driver->Finish();
    if (!shown) report.Line(L"  the About box did not appear");
    report.Line(L"  DlgAbout gave " + HresultText(hr));
    return error.empty() && shown && SUCCEEDED(hr);
}

}  // namespace

int main() {
    std::wstring error;
    const std::optional<DemoOptions> options = ParseDemoOptions(&error);
    if (!options) {
        DemoReport(L"").Line(L"demo_client: " + error);
        return 2;
    }
    DemoReport report(options->reportFile);
    ComApartment apartment;
    if (FAILED(apartment.result)) {
        report.Line(L"demo: COM cannot start: " + HresultText(apartment.result));
        return 1;
    }
    // What the logon remembers is put back afterwards (see the file comment).
    SavedRegistryValues logonSettings(HKEY_CURRENT_USER, kLogonKey, {L"User", L"Password", L"Server", L"Level"});
    if (!RunLogon(*options, report)) return 1;
    if (!RunAbout(*options, report)) return 1;
    report.Line(L"demo: finished");
    return 0;
}
