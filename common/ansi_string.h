// Text in the system's ANSI code page, the one narrow encoding the library
// still meets: the strings of *.acr profile files are bytes of that code page
// by format, and narrow readers of a registry value see its bytes that way.
// Everywhere else the library holds text as UTF-16.
#pragma once
#include <windows.h>
#include <string>

// Every byte sequence has a UTF-16 form; embedded zeros are kept. Empty
// when the system cannot convert the text.
// NOTE: throws std::bad_alloc when memory runs out or the text is longer
// than INT_MAX bytes.
std::wstring WideFromAnsi(const char* text, size_t length);
std::wstring WideFromAnsi(const std::string& text);
// Characters the code page cannot spell become its default character; empty
// when the system cannot convert the text.
// NOTE: throws std::bad_alloc when memory runs out or the text is longer
// than INT_MAX characters.
std::string AnsiFromWide(const std::wstring& text);
