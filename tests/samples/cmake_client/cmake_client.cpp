// Uses what quarnver::quarnver gives: the header, the compiled identifiers,
// the import library, and the DLL copied from the imported location. Exits 0
// when the package's About class is reached through the DLL beside the program.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <cwchar>
#include "quarnver_h.h"

int main() {
    std::printf("quarnver %s\n", QUARNVER_FOUND_VERSION);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int result = 2;
    IClassFactory* factory = nullptr;
    if (SUCCEEDED(DllGetClassObject(CLSID_Quarn5About, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        IQuarn5About* about = nullptr;
        if (SUCCEEDED(factory->CreateInstance(nullptr, IID_IQuarn5About, reinterpret_cast<void**>(&about)))) {
            about->Release();
            result = 3;
        }
        factory->Release();
    }
    // The DLL that answered lies beside this program.
    wchar_t program[MAX_PATH] = {};
    wchar_t library[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    GetModuleFileNameW(GetModuleHandleW(L"quarnver.dll"), library, MAX_PATH);
    const wchar_t* programEnd = std::wcsrchr(program, L'\\');
    const wchar_t* libraryEnd = std::wcsrchr(library, L'\\');
    if (result == 3 && programEnd && libraryEnd && programEnd - program == libraryEnd - library &&
        _wcsnicmp(program, library, programEnd - program) == 0)
        result = 0;
    std::printf("%s\n", result == 0 ? "ok" : "failed");
    CoUninitialize();
    return result;
}
