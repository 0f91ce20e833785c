// Conversions between the library's narrow strings (system ANSI code page)
// and the UTF-16 strings and BSTRs that cross COM interfaces. Failures raise
// _com_error: E_OUTOFMEMORY when memory runs out, the Win32 error of a failed
// conversion otherwise.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>
#include "common/bstr.h"

// A null BSTR counts as the empty string; embedded zeros are kept.
std::string NarrowFromBstr(BSTR text);
std::string NarrowFromWide(const wchar_t* text, size_t length);
std::wstring WideFromNarrow(const std::string& text);
// An empty string gives an empty, non-null BSTR.
UniqueBstr BstrFromNarrow(const std::string& text);
