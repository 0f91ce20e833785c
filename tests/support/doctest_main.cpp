#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>
#include <objbase.h>

int main(int argc, char** argv) {
    // Tests run in a single-threaded apartment, as the library's clients do.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    doctest::Context context(argc, argv);
    const int result = context.run();
    CoUninitialize();
    return result;
}
