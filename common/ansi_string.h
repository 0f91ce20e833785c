// Narrow text, the one encoding the library still meets besides UTF-16:
// narrow readers of a registry value see its bytes in the process's ANSI code
// page, and the strings of *.acr profile files are bytes of the system's ANSI
// code page by format. Everywhere else the library holds text as UTF-16.
#pragma once
#include <windows.h>
#include <string>

// Text in the process's ANSI code page (CP_ACP).
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

// The code page of the strings of *.acr files, decided once when made.
// Where the process's ANSI code page is the system's, that is CP_ACP, so the
// files hold exactly the bytes every other program of this computer writes.
// A process that made UTF-8 its own code page by its manifest, on a system
// whose code page is not UTF-8, still reads and writes the system's code
// page. On a system whose code page is UTF-8, strings are written in UTF-8
// and read as UTF-8 where they are valid UTF-8, otherwise in the code page
// the system had before (the files installed with the product are in it).
// Conversions behave as WideFromAnsi and AnsiFromWide do, throws included.
class ProfileTextCodePage {
public:
    ProfileTextCodePage();
    std::wstring ToWide(const std::string& text) const;
    std::string FromWide(const std::wstring& text) const;

private:
    UINT m_codePage = CP_ACP;
    UINT m_legacyCodePage = 0;  // read where text is not valid UTF-8; 0: none
};
