// A client of an installed quarnver.dll for the installer tests: creates both
// classes by CLSID and by ProgID, prints the path of the DLL it loaded, and
// exits with the number of failures.
#include <windows.h>
#include <objbase.h>
#include <cstdio>

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 100;
    const wchar_t* const classes[][2] = {{L"{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}", L"Quarn5.Logon.1"},
                                         {L"{9AB6D601-2E3E-11D3-9751-00E0290CC6BF}", L"Quarn5.About.1"}};
    int failures = 0;
    IDispatch* kept = nullptr;
    for (const auto& names : classes) {
        CLSID byId = {}, byName = {};
        if (FAILED(CLSIDFromString(names[0], &byId)) || FAILED(CLSIDFromProgID(names[1], &byName)) ||
            !IsEqualCLSID(byId, byName)) {
            printf("%ls: no such ProgID for %ls\n", names[1], names[0]);
            ++failures;
        }
        IDispatch* object = nullptr;
        const HRESULT hr = CoCreateInstance(byId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                            reinterpret_cast<void**>(&object));
        if (FAILED(hr)) {
            printf("%ls: 0x%08lx\n", names[0], static_cast<unsigned long>(hr));
            ++failures;
        } else if (kept == nullptr) {
            kept = object;
        } else {
            object->Release();
        }
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"quarnver.dll"), path, MAX_PATH);
    printf("%ls\n", path);
    if (kept) kept->Release();
    CoUninitialize();
    return failures;
}
