# What differs between the 32-bit and the 64-bit build when they run under
# Wine. Both use a 64-bit prefix (the default), where 64-bit system programs
# live in C:\windows\system32 and 32-bit ones in C:\windows\syswow64.
#   QUARN_WINE_LOADER  runs the build's programs: Debian's "wine" starts the
#                      32-bit loader, so a 64-bit build names wine64 itself,
#                      which also finds 64-bit regsvr32 and cscript.
#   QUARN_SYSTEM_DIR   the prefix's system folder for the build's bitness.
#   QUARN_REGSVR32     regsvr32 of the build's bitness.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    find_program(QUARN_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine
                 DOC "Wine loader for 64-bit programs" REQUIRED)
    set(QUARN_SYSTEM_DIR "C:/windows/system32")
else()
    set(QUARN_WINE_LOADER wine CACHE STRING "Wine loader for 32-bit programs")
    set(QUARN_SYSTEM_DIR "C:/windows/syswow64")
endif()
set(QUARN_REGSVR32 "${QUARN_SYSTEM_DIR}/regsvr32.exe")
