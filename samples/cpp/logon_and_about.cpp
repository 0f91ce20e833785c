// Sample: a compiled client of quarnver.dll.
//
// Logs on to the translation server through Quarn5Logon without a dialog,
// prints what the logon object holds, gets a server object and a document
// control, and shows the About box of Quarn5About.
//
// Build with the client kit's files, for the library's bitness (32-bit here;
// x86_64-w64-mingw32-g++ with the 64-bit kit):
//   i686-w64-mingw32-g++ -static -I<kit> logon_and_about.cpp <kit>/quarnver_i.c -lole32 -loleaut32 -luuid
// quarnver.dll must be registered (regsvr32 quarnver.dll).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <cstdio>
#include "quarnver_h.h"

namespace {

// What an omitted optional argument looks like.
VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// Prints one of the logon object's text properties; the caller frees nothing.
void PrintProperty(const char* name, IQuarn5Logon* logon, HRESULT (STDMETHODCALLTYPE IQuarn5Logon::*get)(BSTR*)) {
    BSTR value = nullptr;
    if (SUCCEEDED((logon->*get)(&value))) std::printf("%s: %ls\n", name, value);
    SysFreeString(value);
}

int Fail(const char* what, HRESULT hr) {
    std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

int LogOn() {
    IQuarn5Logon* logon = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5Logon, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5Logon,
                                  reinterpret_cast<void**>(&logon));
    if (FAILED(hr)) return Fail("creating Quarn5Logon", hr);

    // Level 8: no row of the logon dialog is open, so the logon is silent,
    // and nothing is remembered. Level 7 would show every row.
    logon->put_Level(8);

    // Client name, then server, user and password: omitted here, so the
    // values remembered for this Windows user (or the defaults) are used.
    BSTR client = SysAllocString(L"C++ sample");
    long confirmed = 0;
    hr = logon->Initialize(client, Missing(), Missing(), Missing(), &confirmed);
    SysFreeString(client);
    if (FAILED(hr)) {
        logon->Release();
        return Fail("Initialize", hr);
    }
    if (!confirmed) {
        std::printf("the user cancelled the logon\n");
        logon->Release();
        return 1;
    }
    PrintProperty("Client", logon, &IQuarn5Logon::get_Client);
    PrintProperty("User", logon, &IQuarn5Logon::get_User);
    PrintProperty("Server", logon, &IQuarn5Logon::get_Server);

    // Each call gives a new server object, already connected with the client
    // and user names; a control comes connected to a server object of its own.
    IUnknown* server = nullptr;
    IUnknown* document = nullptr;
    hr = logon->GetQuarnSvrDirections(&server);
    if (SUCCEEDED(hr)) hr = logon->GetQuarnCtlDocument(&document);
    if (server) server->Release();
    if (document) document->Release();
    logon->Release();
    if (FAILED(hr)) return Fail("getting the server object and the document control", hr);
    std::printf("connected a server object and a document control\n");
    return 0;
}

int ShowAbout() {
    IQuarn5About* about = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5About, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5About,
                                  reinterpret_cast<void**>(&about));
    if (FAILED(hr)) return Fail("creating Quarn5About", hr);
    // Title and Icon are resource IDs in this program's own .exe (a string
    // and an icon); omitted, the box shows no title line and no icon.
    hr = about->DlgAbout(Missing(), Missing());
    about->Release();
    return FAILED(hr) ? Fail("DlgAbout", hr) : 0;
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int result = LogOn();
    if (result == 0) result = ShowAbout();
    CoUninitialize();
    if (result == 0) std::printf("sample done\n");
    return result;
}
