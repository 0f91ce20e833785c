// Included before every C++ source (top-level CMakeLists.txt).
//
// The C++ runtime declares its instantiations of std::string, std::wstring
// and the stream classes "extern", so that programs call the runtime's copies.
// Linked statically, that brings in each class's whole object file (well over
// 60 KB of the DLL, none of it removable: the linker keeps every function that
// has unwind information). With the declarations switched off, each source
// instantiates only the members it uses.
#pragma once
#ifdef __cplusplus
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
#endif
