// What a test program needs to know about its own bitness inside the 64-bit
// Wine prefix the tests run in: where the system programs of the same bitness
// live and under which platform key a type library registers.
#pragma once

// Folder of regsvr32.exe and cscript.exe of this program's bitness, with a
// trailing backslash: 64-bit ones in system32, 32-bit ones in syswow64.
#ifdef _WIN64
#define QUARN_SYSTEM_TOOLS_DIR "C:\\windows\\system32\\"
#else
#define QUARN_SYSTEM_TOOLS_DIR "C:\\windows\\syswow64\\"
#endif

// Subkey of TypeLib\{libid}\<version>\<lcid> that RegisterTypeLib writes in a
// process of this bitness, and the SYSKIND widl gives the type library.
#ifdef _WIN64
#define QUARN_TYPELIB_PLATFORM "win64"
#define QUARN_TYPELIB_SYSKIND SYS_WIN64
#else
#define QUARN_TYPELIB_PLATFORM "win32"
#define QUARN_TYPELIB_SYSKIND SYS_WIN32
#endif
