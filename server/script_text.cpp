#include "script_text.h"
#include <new>

size_t NextCharacter(const char* text, size_t pos, const TextPlatform& platform) {
    if (text[pos] == '\0') return pos;
    const char* next = platform.charNext(text + pos);
    // A character of several bytes is stepped over whole, but the terminating
    // NUL is never skipped and the cursor always moves.
    if (next <= text + pos || next > text + pos + kMaxCharacterBytes) return pos + 1;
    const size_t step = static_cast<size_t>(next - (text + pos));
    for (size_t i = 1; i < step; ++i)
        if (text[pos + i] == '\0') return pos + 1;
    return pos + step;
}

ReplacementTable::ReplacementTable() {
    try {
        m_vecEntries.reserve(10);
    } catch (const std::bad_alloc&) {
        // The table grows on demand instead.
    }
}

bool ReplacementTable::Add(const wchar_t* name, const wchar_t* text) {
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
            std::string entryName;
            if (!platform.narrowFromWide(entry.first, &entryName)) continue;
            if (platform.compareNoCase(entryName.c_str(), name) != 0) continue;
            std::string converted;
            if (!platform.narrowFromWide(entry.second, &converted)) return kScriptOutOfMemory;
            *text = std::move(converted);
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
                const size_t next = NextCharacter(text, pos, platform);
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
            while (text[nameEnd] != '\0' && text[nameEnd] != '%') nameEnd = NextCharacter(text, nameEnd, platform);
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

size_t ScriptReader::Next(size_t pos) const { return NextCharacter(m_pText, pos, m_platform); }

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
