// The text layer of the registration script language: placeholder expansion
// and tokens. Script text is UTF-8 from the resource to the registry; the
// placeholders' UTF-16 texts are turned into UTF-8 here, and the registry's
// names and values back into UTF-16. Free of Win32 so that it also builds
// with the host compiler, for fuzzing and for the build's own reader of the
// scripts; what it needs from the platform (case-blind comparison beyond
// ASCII) comes in through `TextPlatform`.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

// Results of the text layer. The numbers are the HRESULTs a registration run
// reports, so they pass through unchanged.
using ScriptResult = int32_t;
constexpr ScriptResult kScriptOk = 0;
constexpr ScriptResult kScriptSyntaxError = static_cast<ScriptResult>(0x80020009);   // DISP_E_EXCEPTION
constexpr ScriptResult kScriptFail = static_cast<ScriptResult>(0x80004005);          // E_FAIL
constexpr ScriptResult kScriptOutOfMemory = static_cast<ScriptResult>(0x8007000E);   // E_OUTOFMEMORY

// Limits of the script language.
constexpr size_t kMaxTokenLength = 4094;           // bytes of one token
constexpr size_t kMaxValueNameLength = 259;        // bytes of a value name after "Val"
constexpr size_t kMaxPlaceholderNameLength = 31;   // bytes between the two "%"
constexpr size_t kMaxCharacterBytes = 4;           // bytes of one character (UTF-8)

struct TextPlatform {
    // Zero when both UTF-8 texts are equal with letter case ignored.
    int (*compareNoCase)(const char* a, const char* b);
};

// Zero when both texts are equal with the case of the ASCII letters ignored.
int CompareAsciiNoCase(const char* a, const char* b);
// The platform of hosts without a case mapping beyond ASCII: the build's
// reader of the scripts and the fuzz target.
extern const TextPlatform kAsciiTextPlatform;

// A unit of UTF-16 text: wchar_t, as the library's Win32 calls take it; on
// hosts whose wchar_t is wider, char16_t, so that they run the same code over
// the same 16-bit units.
#if WCHAR_MAX == 0xFFFF
using Utf16Unit = wchar_t;
#else
using Utf16Unit = char16_t;
#endif
using Utf16Text = std::basic_string<Utf16Unit>;

// UTF-16 to UTF-8; a surrogate without its partner becomes U+FFFD.
// NOTE: throws std::bad_alloc.
std::string Utf8FromUtf16(const Utf16Text& text);
// UTF-8 to UTF-16; each maximal part of a byte sequence that is not UTF-8
// (a stray byte, a character cut short, an overlong form, a surrogate or a
// code point beyond U+10FFFF) becomes one U+FFFD.
// NOTE: throws std::bad_alloc.
Utf16Text Utf16FromUtf8(const std::string& text);

// The placeholder values of one run: an ordered list of (name, text) pairs
// in UTF-16, copied and owned by the table.
class ReplacementTable {
public:
    ReplacementTable();
    // Appends an entry; false when either argument is null or memory runs out.
    [[nodiscard]] bool Add(const Utf16Unit* name, const Utf16Unit* text);
    // The text of the first entry whose name, in the text's encoding, equals
    // `name` with letter case ignored. Returns kScriptOk, kScriptSyntaxError
    // when no entry matches, or kScriptOutOfMemory when the text cannot be
    // converted.
    ScriptResult Find(const char* name, const TextPlatform& platform, std::string* text) const;
    size_t Size() const { return m_vecEntries.size(); }

private:
    std::vector<std::pair<Utf16Text, Utf16Text>> m_vecEntries;
};

// Replaces every "%name%" of the NUL-terminated `text` by the table's text
// and every "%%" by "%". The walk ends at the first NUL. On failure `out` is
// left empty. Results: kScriptOk; kScriptSyntaxError for a "%" without its
// closing "%" or a name the table does not hold; kScriptFail for a name of 32
// bytes or more; kScriptOutOfMemory.
ScriptResult ExpandReplacements(const char* text, const ReplacementTable& replacements,
                                const TextPlatform& platform, std::string* out);

// A reading cursor over NUL-terminated script text that it does not own.
class ScriptReader {
public:
    ScriptReader(const char* text, const TextPlatform& platform) : m_pText(text), m_platform(platform) {}

    bool AtEnd() const { return m_pText[m_nPosition] == '\0'; }
    // Skips space, tab, CR and LF.
    void SkipWhiteSpace();
    // Reads the next token into `token`: a quoted token ('' inside stands for
    // one ') or a run of characters up to white space. kScriptSyntaxError when
    // the text ends before the token or before its closing quote, or when the
    // token is longer than kMaxTokenLength bytes.
    ScriptResult ReadToken(std::string* token);

    size_t Position() const { return m_nPosition; }
    void Seek(size_t position) { m_nPosition = position; }

    // Keywords, root-key names and type letters: equal with case ignored.
    bool Is(const std::string& token, const char* word) const {
        return m_platform.compareNoCase(token.c_str(), word) == 0;
    }
    const TextPlatform& Platform() const { return m_platform; }

private:
    // The position after the character at `pos`; never past the NUL and never
    // standing still before it.
    size_t Next(size_t pos) const;

    const char* m_pText;
    const TextPlatform& m_platform;
    size_t m_nPosition = 0;
};

// Token classes of the grammar.
inline bool IsClosingBrace(const std::string& token) { return !token.empty() && token[0] == '}'; }
inline bool IsAssignment(const std::string& token) { return !token.empty() && token[0] == '='; }
inline bool IsOpeningBraceAlone(const std::string& token) { return token == "{"; }

// Steps to the UTF-8 character after the one at `pos` of NUL-terminated
// `text`: never past the NUL, always at least a byte; a lead byte without all
// its continuation bytes, and a stray continuation byte, is a character of
// its own.
size_t NextCharacter(const char* text, size_t pos);
