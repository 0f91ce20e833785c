#include "script_text.h"
#include <new>

size_t NextCharacter(const char* text, size_t pos) {
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    if (lead == 0) return pos;
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    // Continuation bytes are 10xxxxxx, so the NUL never counts as one.
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return pos + 1;
    return pos + length;
}

int CompareAsciiNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z') ca -= 'a' - 'A';
        if (cb >= 'a' && cb <= 'z') cb -= 'a' - 'A';
        if (ca != cb || ca == 0) return ca - cb;
    }
}

const TextPlatform kAsciiTextPlatform = {&CompareAsciiNoCase};

std::string Utf8FromUtf16(const Utf16Text& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Utf16Text Utf16FromUtf8(const std::string& text) {
    Utf16Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i++]);
        // Continuation bytes to come, and the range of the first of them.
        size_t more = 0;
        unsigned char low = 0x80, high = 0xBF;
        uint32_t c = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            c = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // no overlong form
            if (lead == 0xED) high = 0x9F;  // no surrogate
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            c = lead & 0x07;
            if (lead == 0xF0) low = 0x90;   // no overlong form
            if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
        } else if (lead >= 0x80) {
            c = 0xFFFD;
        }
        for (; more > 0; --more, low = 0x80, high = 0xBF) {
            const unsigned char next = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
            if (next < low || next > high) break;
            c = (c << 6) | (next & 0x3F);
            ++i;
        }
        if (more > 0) c = 0xFFFD;
        if (c >= 0x10000) {
            out += static_cast<Utf16Unit>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        out += static_cast<Utf16Unit>(c);
    }
    return out;
}

ReplacementTable::ReplacementTable() {
    try {
        m_vecEntries.reserve(10);
    } catch (const std::bad_alloc&) {
        // The table grows on demand instead.
    }
}

bool ReplacementTable::Add(const Utf16Unit* name, const Utf16Unit* text) {
    if (name == nullptr || text == nullptr) return false;
    try {
        m_vecEntries.emplace_back(name, text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

ScriptResult ReplacementTable::Find(const char* name, const TextPlatform& platform, std::string* text) const {
    try {
        for (const auto& entry : m_vecEntries) {
            if (platform.compareNoCase(Utf8FromUtf16(entry.first).c_str(), name) != 0) continue;
            *text = Utf8FromUtf16(entry.second);
            return kScriptOk;
        }
    } catch (const std::bad_alloc&) {
        return kScriptOutOfMemory;
    }
    return kScriptSyntaxError;
}

ScriptResult ExpandReplacements(const char* text, const ReplacementTable& replacements,
                                const TextPlatform& platform, std::string* out) {
    out->clear();
    try {
        std::string expanded;
        size_t length = 0;
        while (text[length] != '\0') ++length;
        expanded.reserve(length * 2);

        size_t pos = 0;
        while (text[pos] != '\0') {
            if (text[pos] != '%') {
                const size_t next = NextCharacter(text, pos);
                expanded.append(text + pos, next - pos);
                pos = next;
                continue;
            }
            if (text[pos + 1] == '%') {
                expanded += '%';
                pos += 2;
                continue;
            }
            // A placeholder: the name runs to the next "%".
            const size_t nameStart = pos + 1;
            size_t nameEnd = nameStart;
            while (text[nameEnd] != '\0' && text[nameEnd] != '%') nameEnd = NextCharacter(text, nameEnd);
            if (text[nameEnd] != '%') return kScriptSyntaxError;
            if (nameEnd - nameStart > kMaxPlaceholderNameLength) return kScriptFail;

            const std::string name(text + nameStart, nameEnd - nameStart);
            std::string replacement;
            const ScriptResult found = replacements.Find(name.c_str(), platform, &replacement);
            if (found != kScriptOk) return found;
            expanded += replacement;
            pos = nameEnd + 1;
        }
        *out = std::move(expanded);
    } catch (const std::bad_alloc&) {
        out->clear();
        return kScriptOutOfMemory;
    }
    return kScriptOk;
}

namespace {
bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

size_t ScriptReader::Next(size_t pos) const { return NextCharacter(m_pText, pos); }

void ScriptReader::SkipWhiteSpace() {
    while (IsWhiteSpace(m_pText[m_nPosition])) ++m_nPosition;
}

ScriptResult ScriptReader::ReadToken(std::string* token) {
    token->clear();
    SkipWhiteSpace();
    if (AtEnd()) return kScriptSyntaxError;

    try {
        std::string text;
        if (m_pText[m_nPosition] == '\'') {
            size_t pos = m_nPosition + 1;
            for (;;) {
                if (m_pText[pos] == '\0') return kScriptSyntaxError;
                if (m_pText[pos] == '\'') {
                    if (m_pText[pos + 1] != '\'') {
                        ++pos;  // the closing quote
                        break;
                    }
                    text += '\'';
                    pos += 2;
                } else {
                    const size_t next = Next(pos);
                    text.append(m_pText + pos, next - pos);
                    pos = next;
                }
                if (text.size() > kMaxTokenLength) return kScriptSyntaxError;
            }
            m_nPosition = pos;
        } else {
            size_t pos = m_nPosition;
            while (m_pText[pos] != '\0' && !IsWhiteSpace(m_pText[pos])) {
                const size_t next = Next(pos);
                text.append(m_pText + pos, next - pos);
                pos = next;
                if (text.size() > kMaxTokenLength) return kScriptSyntaxError;
            }
            m_nPosition = pos;
        }
        *token = std::move(text);
    } catch (const std::bad_alloc&) {
        return kScriptOutOfMemory;
    }
    return kScriptOk;
}
