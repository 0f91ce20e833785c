// A module that carries a registry script of its own, for running
// UpdateRegistryFromResource on a real module file from a path of the test's
// choosing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
