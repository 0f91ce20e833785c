// The demo's transcript: lines for the user on standard output, in UTF-8, and
// the same lines in a report file when one is named (the demo script reads it
// when the program runs inside a Wine virtual desktop, whose standard output
// may not reach the terminal).
#pragma once
#include <windows.h>
#include <string>
#include "common/unique_handle.h"

class DemoReport {
public:
    // An empty path: standard output only.
    explicit DemoReport(const std::wstring& path);
    DemoReport(const DemoReport&) = delete;
    DemoReport& operator=(const DemoReport&) = delete;

    void Line(const std::wstring& text);

private:
    UniqueFileHandle m_file;
};

// An HRESULT for the transcript.
std::wstring HresultText(HRESULT hr);  // "0x80040154 (Class not registered)"
