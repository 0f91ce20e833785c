#include "demo_report.h"
#include <cstdio>
#include <string>
#include "server/script_text.h"

namespace {

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
