// Fuzz target: placeholder expansion, tokens and the grammar of the
// registration script language over arbitrary bytes, read as the library reads them: UTF-8;
// and both conversions between UTF-8 and UTF-16, over the same bytes read either way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "../../server/script_text.h"
#include "../../server/script_tree.h"

namespace {
void Check(bool condition) {
    if (!condition) abort();
}

bool IsKnownResult(ScriptResult result) {
    return result == kScriptOk || result == kScriptSyntaxError || result == kScriptFail ||
           result == kScriptOutOfMemory;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);  // c_str() adds the NUL

    static ReplacementTable* table = [] {
        auto* t = new ReplacementTable;
        Check(t->Add(u"Module", u"C:\\Program Files\\it''s\\quarnver.dll"));
        Check(t->Add(u"Empty", u""));
        Check(t->Add(u"Percent", u"%%"));
        Check(t->Add(u"Wide", u"\x03A9 \xD83D\xDE00 \xD800 \xDC00"));  // a pair and two lone halves
        Check(t->Add(u"Name31_abcdefghijklmnopqrstuvwx", u"{ }"));
        return t;
    }();

    // UTF-8 read back from UTF-16 gives the same units: a surrogate without
    // its partner comes back as U+FFFD.
    Utf16Text units(size / 2, 0);
    for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<Utf16Unit>(data[2 * i] | data[2 * i + 1] << 8);
    const Utf16Text back = Utf16FromUtf8(Utf8FromUtf16(units));
    Check(back.size() == units.size());
    for (size_t i = 0; i < back.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF, low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        const bool paired = (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) ||
                            (low && i > 0 && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF);
        Check(back[i] == ((high || low) && !paired ? 0xFFFD : units[i]));
    }
    // Any bytes read as UTF-8 give UTF-16 that survives the way back.
    const Utf16Text wide = Utf16FromUtf8(script);
    Check(Utf16FromUtf8(Utf8FromUtf16(wide)) == wide);

    std::string expanded;
    const ScriptResult result = ExpandReplacements(script.c_str(), *table, kAsciiTextPlatform, &expanded);
    Check(IsKnownResult(result));
    if (result != kScriptOk) {
        Check(expanded.empty());
        return 0;
    }
    Check(expanded.find('\0') == std::string::npos);
    if (script.find('%') == std::string::npos) Check(expanded == std::string(script.c_str()));

    // Read every token to the end: each success moves the cursor on, so the
    // loop ends within as many steps as the text has bytes.
    ScriptReader reader(expanded.c_str(), kAsciiTextPlatform);
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
    const ScriptResult parsed = ParseScript(expanded.c_str(), kAsciiTextPlatform, &tree);
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
            Check(BinaryFromDigits(item.data).size() * 2 <= item.data.size());
        open.push_back(i);
    }
    Check(tree.maxDepth <= expanded.size());
    return 0;
}
