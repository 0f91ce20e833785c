// Pictures of windows for the documentation: what the screen shows inside a
// window's rectangle (title bar and frame included), saved as a 24-bit BMP
// file. The demo script turns the BMP files into PNG.
#pragma once
#include <windows.h>
#include <string>

// Copies the window's screen rectangle and writes it to path; false on failure.
bool CaptureWindowToBmp(HWND window, const std::wstring& path);
