// Fuzz target: placeholder expansion, tokens and the grammar of the
// registration script language over arbitrary bytes. The first input byte picks the platform
// flavour (single-byte or double-byte code page); the rest is the script.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "../../server/script_text.h"
#include "../../server/script_tree.h"

namespace {
bool g_doubleByte = false;

bool IsLeadByte(unsigned char c) { return g_doubleByte && c >= 0x81 && c <= 0xFE; }

// CharNextA of a double-byte code page such as 936.
const char* CharNext(const char* text) {
    if (*text == '\0') return text;
    if (IsLeadByte(static_cast<unsigned char>(*text)) && text[1] != '\0') return text + 2;
    return text + 1;
}

int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z') ca -= 'a' - 'A';
        if (cb >= 'a' && cb <= 'z') cb -= 'a' - 'A';
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
}

bool NarrowFromWide(const std::wstring& text, std::string* out) {
    out->clear();
    for (wchar_t c : text) *out += c < 0x100 ? static_cast<char>(c) : '?';
    return true;
}

const TextPlatform kPlatform = {&CharNext, &CompareNoCase, &NarrowFromWide};

void Check(bool condition) {
    if (!condition) abort();
}

bool IsKnownResult(ScriptResult result) {
    return result == kScriptOk || result == kScriptSyntaxError || result == kScriptFail ||
           result == kScriptOutOfMemory;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    g_doubleByte = (data[0] & 1) != 0;
    const std::string script(reinterpret_cast<const char*>(data + 1), size - 1);  // c_str() adds the NUL

    static ReplacementTable* table = [] {
        auto* t = new ReplacementTable;
        Check(t->Add(L"Module", L"C:\\Program Files\\it''s\\quarnver.dll"));
        Check(t->Add(L"Empty", L""));
        Check(t->Add(L"Percent", L"%%"));
        Check(t->Add(L"Name31_abcdefghijklmnopqrstuvwx", L"{ }"));
        return t;
    }();

    std::string expanded;
    const ScriptResult result = ExpandReplacements(script.c_str(), *table, kPlatform, &expanded);
    Check(IsKnownResult(result));
    if (result != kScriptOk) {
        Check(expanded.empty());
        return 0;
    }
    Check(expanded.find('\0') == std::string::npos);
    if (script.find('%') == std::string::npos) Check(expanded == std::string(script.c_str()));

    // Read every token to the end: each success moves the cursor on, so the
    // loop ends within as many steps as the text has bytes.
    ScriptReader reader(expanded.c_str(), kPlatform);
    std::string token;
    for (size_t steps = 0;; ++steps) {
        Check(steps <= expanded.size() + 1);
        const size_t before = reader.Position();
        const ScriptResult read = reader.ReadToken(&token);
        Check(IsKnownResult(read));
        Check(reader.Position() <= expanded.size());
        if (read != kScriptOk) break;
        Check(reader.Position() > before);
        Check(token.size() <= kMaxTokenLength);
        (void)reader.Is(token, "ForceRemove");
        (void)IsClosingBrace(token);
        (void)IsAssignment(token);
        (void)IsOpeningBraceAlone(token);
    }
    reader.SkipWhiteSpace();

    // The tree: a failure leaves it empty; every subtree ends inside its
    // parent's, after its own item.
    ScriptTree tree;
    const ScriptResult parsed = ParseScript(expanded.c_str(), kPlatform, &tree);
    Check(IsKnownResult(parsed));
    if (parsed != kScriptOk) {
        Check(tree.items.empty());
        return 0;
    }
    std::vector<size_t> open;
    for (size_t i = 0; i < tree.items.size(); ++i) {
        while (!open.empty() && tree.items[open.back()].end <= i) open.pop_back();
        const ScriptItem& item = tree.items[i];
        Check(item.end > i && item.end <= tree.items.size());
        Check((item.kind == ScriptItemKind::Root) == open.empty());
        if (!open.empty()) Check(item.end <= tree.items[open.back()].end);
        if (item.kind == ScriptItemKind::Value || item.kind == ScriptItemKind::Delete) Check(item.end == i + 1);
        if (item.hasValue && item.type == ScriptValueType::Binary)
            Check(BinaryFromDigits(item.data, kPlatform).size() * 2 <= item.data.size());
        open.push_back(i);
    }
    Check(tree.maxDepth <= expanded.size());
    return 0;
}
