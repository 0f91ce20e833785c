#include "demo_report.h"
#include <cstdio>
#include <string>

namespace {

std::string Utf8FromUtf16(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

void WriteAll(HANDLE handle, const std::string& bytes) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

DemoReport::DemoReport(const std::wstring& path) {
    if (!path.empty())
        m_file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

void DemoReport::Line(const std::wstring& text) {
    const std::string bytes = Utf8FromUtf16(text) + "\n";
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
    WriteAll(m_file.Get(), bytes);
}

std::wstring Utf16FromUtf8(const char* text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1) return std::wstring();
    std::wstring out(size - 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], size);
    return out;
}

std::wstring HresultText(HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = code;
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length > 0 && message) {
        std::wstring words(message, length);
        while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
            words.pop_back();
        text += L" (" + words + L")";
    }
    if (message) LocalFree(message);
    return text;
}
