#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>
#include <objbase.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // A run made for one ANSI code page (QUARN_ANSI_CODE_PAGE) proves
    // nothing under another: it fails when that code page is not in force.
    if (const char* codePage = getenv("QUARN_ANSI_CODE_PAGE")) {
        if (GetACP() != strtoul(codePage, nullptr, 10)) {
            fprintf(stderr, "ANSI code page %u is in force, not %s\n", GetACP(), codePage);
            return 1;
        }
    }
    // Tests run in a single-threaded apartment, as the library's clients do.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    doctest::Context context(argc, argv);
    const int result = context.run();
    CoUninitialize();
    return result;
}
