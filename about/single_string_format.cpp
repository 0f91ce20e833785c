#include "about/single_string_format.h"

std::wstring FormatSingleString(const std::wstring& format, const std::wstring& argument) {
    std::wstring out;
    out.reserve(format.size() + argument.size());
    bool substituted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        const wchar_t c = format[i];
        if (c != L'%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const wchar_t next = format[i + 1];
        if (next == L'%') {
            out += L'%';
            ++i;
        } else if (next == L's' && !substituted) {
            out += argument;
            substituted = true;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}
