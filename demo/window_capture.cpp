#include "window_capture.h"
#include <vector>
#include "common/unique_handle.h"

namespace {

bool WriteBmp(const std::wstring& path, const BITMAPINFOHEADER& info, const void* pixels) {
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    UniqueFileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (!out) return false;
    DWORD written = 0;
    return WriteFile(out.Get(), &file, sizeof file, &written, nullptr) && written == sizeof file &&
           WriteFile(out.Get(), &info, sizeof info, &written, nullptr) && written == sizeof info &&
           WriteFile(out.Get(), pixels, info.biSizeImage, &written, nullptr) && written == info.biSizeImage;
}

}  // namespace

bool CaptureWindowToBmp(HWND window, const std::wstring& path) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    BITMAPINFO bitmapInfo = {};
    BITMAPINFOHEADER& info = bitmapInfo.bmiHeader;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as BMP files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = ((width * 3 + 3) & ~3) * height;

    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    void* pixels = nullptr;
    UniqueGdiObject bitmap(CreateDIBSection(screen, &bitmapInfo, DIB_RGB_COLORS, &pixels, nullptr, 0));
    UniqueMemoryDc memory(CreateCompatibleDC(screen));
    bool copied = false;
    if (bitmap && memory) {
        HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
        copied = BitBlt(memory.Get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memory.Get(), previous);
    }
    ReleaseDC(nullptr, screen);
    return copied && WriteBmp(path, info, pixels);
}
