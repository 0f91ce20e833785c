// Sample: a client that uses quarnver.dll side by side, with nothing
// registered (registration-free COM).
//
// The program's folder holds
//   side_by_side.exe            this program
//   side_by_side.exe.manifest   its application manifest, which names the
//                               assembly "quarnver" as a dependency
//   quarnver.dll                the library
//   quarnver.manifest           the library's assembly manifest (client kit)
// and CoCreateInstance and late binding find both classes and the type
// library through the manifests instead of the registry. Copy the folder to
// another machine and it runs there as it is.
//
// Build with the client kit's files, for the library's bitness:
//   i686-w64-mingw32-g++ -static -I<kit> side_by_side.cpp <kit>/quarnver_i.c -lole32 -loleaut32 -luuid -o side_by_side.exe
//
// Create Quarn5Logon and Quarn5About by CLSID: not every COM implementation
// resolves a ProgID from the manifests correctly (Wine 8 answers with a wrong
// CLSID).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <cstdio>
#include <cstring>
#include "quarnver_h.h"

namespace {

int Fail(const char* what, HRESULT hr) {
    std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// Calls a member by name through IDispatch, as a script host does.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, DISPPARAMS* params, VARIANT* result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return hr;
    return object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, nullptr, nullptr);
}

int UseLogon() {
    IQuarn5Logon* logon = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5Logon, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5Logon,
                                  reinterpret_cast<void**>(&logon));
    if (FAILED(hr)) return Fail("creating Quarn5Logon", hr);

    // Through the vtable: Level 8 remembers nothing for this Windows user.
    long level = 0;
    hr = logon->put_Level(8);
    if (SUCCEEDED(hr)) hr = logon->get_Level(&level);
    if (FAILED(hr)) {
        logon->Release();
        return Fail("Level through the vtable", hr);
    }
    std::printf("Level through the vtable: %ld\n", level);

    // Late bound: set Level by name, read it back by name.
    IDispatch* dispatch = nullptr;
    hr = logon->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    logon->Release();
    if (FAILED(hr)) return Fail("IDispatch of Quarn5Logon", hr);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 12;  // 8 | 4: still nothing remembered
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &named, 1, 1};
    hr = InvokeByName(dispatch, L"Level", DISPATCH_PROPERTYPUT, &put, nullptr);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (SUCCEEDED(hr)) hr = InvokeByName(dispatch, L"Level", DISPATCH_PROPERTYGET, &none, &result);
    dispatch->Release();
    if (FAILED(hr)) return Fail("Level late bound", hr);
    std::printf("Level late bound: %ld\n", result.vt == VT_I4 ? result.lVal : -1L);
    VariantClear(&result);
    return 0;
}

int UseAbout() {
    IQuarn5About* about = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Quarn5About, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarn5About,
                                  reinterpret_cast<void**>(&about));
    if (FAILED(hr)) return Fail("creating Quarn5About", hr);

    // Through the vtable, with both optional arguments omitted.
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    hr = about->DlgAbout(missing, missing);
    if (FAILED(hr)) {
        about->Release();
        return Fail("DlgAbout through the vtable", hr);
    }
    std::printf("About box through the vtable\n");

    // Late bound, as a script would call it.
    IDispatch* dispatch = nullptr;
    hr = about->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    about->Release();
    if (FAILED(hr)) return Fail("IDispatch of Quarn5About", hr);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    hr = InvokeByName(dispatch, L"DlgAbout", DISPATCH_METHOD, &none, nullptr);
    dispatch->Release();
    if (FAILED(hr)) return Fail("DlgAbout late bound", hr);
    std::printf("About box late bound\n");
    return 0;
}

}  // namespace

// "side_by_side /mta" runs in a multithreaded apartment, as a .NET worker
// thread or a service does: COM then creates the Apartment classes in an
// apartment of their own and hands their interfaces over through the type
// library marshaler, which the assembly manifest names for each interface.
int main(int argc, char** argv) {
    const bool multithreaded = argc > 1 && std::strcmp(argv[1], "/mta") == 0;
    if (FAILED(CoInitializeEx(nullptr, multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED))) return 1;
    int result = UseLogon();
    if (result == 0) result = UseAbout();
    CoUninitialize();
    if (result == 0) std::printf("side by side done\n");
    return result;
}
