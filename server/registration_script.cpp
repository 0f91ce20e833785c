#include "server/registration_script.h"
#include <cstring>
#include <new>
#include "common/hresult.h"
#include "server/registry_walk.h"
#include "server/script_tree.h"

static_assert(kScriptOk == S_OK, "script results are HRESULTs");
static_assert(kScriptSyntaxError == DISP_E_EXCEPTION, "script results are HRESULTs");
static_assert(kScriptFail == E_FAIL, "script results are HRESULTs");
static_assert(kScriptOutOfMemory == E_OUTOFMEMORY, "script results are HRESULTs");

namespace {

bool IsAscii(const char* text) {
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    return true;
}

// NOTE: throws std::bad_alloc.
std::wstring WideFrom(UINT codePage, const char* text, int length) {
    if (length == 0) return std::wstring();
    const int chars = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], chars);
    return wide;
}

// NOTE: throws std::bad_alloc.
std::string Utf8From(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &text[0], bytes, nullptr, nullptr);
    return text;
}

// Steps over one UTF-8 sequence (the text layer never steps past a NUL).
const char* Utf8CharNext(const char* text) {
    const unsigned char lead = static_cast<unsigned char>(*text);
    if (lead == 0) return text;
    if (lead >= 0xF0 && lead <= 0xF7) return text + 4;
    if (lead >= 0xE0) return lead <= 0xEF ? text + 3 : text + 1;
    if (lead >= 0xC0) return text + 2;
    return text + 1;
}

// Compared as lstrcmpiA compares text of the ANSI code page.
int Utf8CompareNoCase(const char* a, const char* b) {
    if (IsAscii(a) && IsAscii(b)) return lstrcmpiA(a, b);
    const std::wstring wideA = WideFrom(CP_UTF8, a, static_cast<int>(strlen(a)));
    const std::wstring wideB = WideFrom(CP_UTF8, b, static_cast<int>(strlen(b)));
    return lstrcmpiW(wideA.c_str(), wideB.c_str());
}

bool Utf8FromWide(const std::wstring& text, std::string* out) {
    try {
        *out = Utf8From(text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

const TextPlatform& Win32TextPlatform() {
    static const TextPlatform platform = {&Utf8CharNext, &Utf8CompareNoCase, &Utf8FromWide};
    return platform;
}

HRESULT RunRegistrationScript(const std::string& script, const ReplacementTable& replacements, bool doRegister) {
    try {
        // The script's own text means what it means in the ANSI code page;
        // from here on the run reads it, and the placeholders' texts, as UTF-8.
        // NOTE: the text ends at its first NUL.
        const char* ansi = script.c_str();
        const std::string text = Utf8From(WideFrom(CP_ACP, ansi, static_cast<int>(strlen(ansi))));
        std::string expanded;
        QUARN_RETURN_IF_FAILED(ExpandReplacements(text.c_str(), replacements, Win32TextPlatform(), &expanded));
        ScriptTree tree;
        QUARN_RETURN_IF_FAILED(ParseScript(expanded.c_str(), Win32TextPlatform(), &tree));
        return doRegister ? RegisterScriptTree(tree, Win32TextPlatform()) : UnregisterScriptTree(tree);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
