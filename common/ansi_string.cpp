#include "common/ansi_string.h"
#include <algorithm>
#include <climits>
#include <new>

std::wstring WideFromAnsi(const char* text, size_t length) {
    if (length == 0) return std::wstring();
    if (length > INT_MAX) throw std::bad_alloc();
    const int bytes = static_cast<int>(length);
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(chars), L'\0');
    out.resize(static_cast<size_t>(std::max(0, MultiByteToWideChar(CP_ACP, 0, text, bytes, &out[0], chars))));
    return out;
}

std::wstring WideFromAnsi(const std::string& text) { return WideFromAnsi(text.data(), text.size()); }

std::string AnsiFromWide(const std::wstring& text) {
    if (text.empty()) return std::string();
    if (text.size() > INT_MAX) throw std::bad_alloc();
    const int chars = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), chars, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    out.resize(static_cast<size_t>(
        std::max(0, WideCharToMultiByte(CP_ACP, 0, text.data(), chars, &out[0], bytes, nullptr, nullptr))));
    return out;
}
