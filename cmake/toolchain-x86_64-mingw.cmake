# Cross-compiles for 64-bit Windows with mingw-w64 (posix threading model, so
# that std::mutex and friends exist for the test framework). The same sources
# as the 32-bit build; widl writes a SYS_WIN64 type library.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUARN_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QUARN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUARN_TRIPLE}-windres)
set(QUARN_WIDL         ${QUARN_TRIPLE}-widl)
set(QUARN_WIDL_TARGET  --win64)
set(QUARN_WINE_LIBDIR  /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(CMAKE_FIND_ROOT_PATH /usr/${QUARN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
