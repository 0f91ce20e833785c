#include "common/ansi_string.h"
#include <algorithm>
#include <climits>
#include <new>

#ifndef LOCALE_IUSEUTF8LEGACYACP
#define LOCALE_IUSEUTF8LEGACYACP 0x00000666
#endif

namespace {
std::wstring WideFromCodePage(UINT codePage, DWORD flags, const char* text, size_t length) {
    if (length == 0) return std::wstring();
    if (length > INT_MAX) throw std::bad_alloc();
    const int bytes = static_cast<int>(length);
    const int chars = MultiByteToWideChar(codePage, flags, text, bytes, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(chars), L'\0');
    out.resize(static_cast<size_t>(std::max(0, MultiByteToWideChar(codePage, flags, text, bytes, &out[0], chars))));
    return out;
}

std::string CodePageFromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    if (text.size() > INT_MAX) throw std::bad_alloc();
    const int chars = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(codePage, 0, text.data(), chars, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    out.resize(static_cast<size_t>(
        std::max(0, WideCharToMultiByte(codePage, 0, text.data(), chars, &out[0], bytes, nullptr, nullptr))));
    return out;
}

// A numeric value of the system locale; 0 when the system does not know it.
UINT SystemLocaleNumber(LCTYPE type) {
    DWORD number = 0;
    const int written = GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, type | LOCALE_RETURN_NUMBER,
                                       reinterpret_cast<wchar_t*>(&number), sizeof number / sizeof(wchar_t));
    return written > 0 ? number : 0;
}
}  // namespace

std::wstring WideFromAnsi(const char* text, size_t length) { return WideFromCodePage(CP_ACP, 0, text, length); }

std::wstring WideFromAnsi(const std::string& text) { return WideFromAnsi(text.data(), text.size()); }

std::string AnsiFromWide(const std::wstring& text) { return CodePageFromWide(CP_ACP, text); }

ProfileTextCodePage::ProfileTextCodePage() {
    const UINT system = SystemLocaleNumber(LOCALE_IDEFAULTANSICODEPAGE);
    if (system == CP_UTF8) {
        m_codePage = CP_UTF8;
        const UINT legacy = SystemLocaleNumber(LOCALE_IUSEUTF8LEGACYACP);
        m_legacyCodePage = legacy == CP_UTF8 ? 0 : legacy;
    } else if (GetACP() == CP_UTF8 && system != 0) {
        m_codePage = system;  // a process of its own code page on a system of another
    }
}

std::wstring ProfileTextCodePage::ToWide(const std::string& text) const {
    if (m_codePage == CP_UTF8 && m_legacyCodePage != 0) {
        // Valid UTF-8 is taken as such; anything else was written in the
        // code page the system had before it moved to UTF-8.
        const std::wstring wide = WideFromCodePage(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), text.size());
        if (!wide.empty() || text.empty()) return wide;
        return WideFromCodePage(m_legacyCodePage, 0, text.data(), text.size());
    }
    return WideFromCodePage(m_codePage, 0, text.data(), text.size());
}

std::string ProfileTextCodePage::FromWide(const std::wstring& text) const { return CodePageFromWide(m_codePage, text); }
