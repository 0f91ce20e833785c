#include "server/registration_script.h"
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

// Letter case beyond ASCII as the system's case mapping has it.
int Utf8CompareNoCase(const char* a, const char* b) {
    if (IsAscii(a) && IsAscii(b)) return CompareAsciiNoCase(a, b);
    return lstrcmpiW(Utf16FromUtf8(a).c_str(), Utf16FromUtf8(b).c_str());
}

}  // namespace

const TextPlatform& Win32TextPlatform() {
    static const TextPlatform platform = {&Utf8CompareNoCase};
    return platform;
}

HRESULT RunRegistrationScript(const std::string& script, const ReplacementTable& replacements, bool doRegister,
                              const ClassesViews& classes) {
    try {
        // NOTE: the text ends at its first NUL.
        std::string expanded;
        QUARN_RETURN_IF_FAILED(ExpandReplacements(script.c_str(), replacements, Win32TextPlatform(), &expanded));
        ScriptTree tree;
        QUARN_RETURN_IF_FAILED(ParseScript(expanded.c_str(), Win32TextPlatform(), &tree));
        return doRegister ? RegisterScriptTree(tree, classes) : UnregisterScriptTree(tree, classes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
