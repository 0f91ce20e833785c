#include "server/script_tree.h"
#include <new>

namespace {

struct RootName {
    const char* name;
    ScriptRoot root;
};
// Searched in this order; the first match wins.
const RootName kRootNames[] = {
    {"HKCR", ScriptRoot::ClassesRoot},
    {"HKCU", ScriptRoot::CurrentUser},
    {"HKLM", ScriptRoot::LocalMachine},
    {"HKU", ScriptRoot::Users},
    {"HKPD", ScriptRoot::PerformanceData},
    {"HKDD", ScriptRoot::DynData},
    {"HKCC", ScriptRoot::CurrentConfig},
    {"HKEY_CLASSES_ROOT", ScriptRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", ScriptRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", ScriptRoot::LocalMachine},
    {"HKEY_USERS", ScriptRoot::Users},
    {"HKEY_PERFORMANCE_DATA", ScriptRoot::PerformanceData},
    {"HKEY_DYN_DATA", ScriptRoot::DynData},
    {"HKEY_CURRENT_CONFIG", ScriptRoot::CurrentConfig},
};

struct TypeLetter {
    const char* letter;
    ScriptValueType type;
};
const TypeLetter kTypeLetters[] = {
    {"S", ScriptValueType::String},
    {"D", ScriptValueType::Dword},
    {"B", ScriptValueType::Binary},
};

// Keys that ForceRemove and Delete never remove: they hold the entries of
// every other class and type library.
const char* const kProtectedKeyNames[] = {"CLSID", "TYPELIB"};

#define QUARN_RETURN_IF_SCRIPT_FAILED(expr)      \
    do {                                         \
        const ScriptResult result_ = (expr);     \
        if (result_ != kScriptOk) return result_; \
    } while (0)

size_t CharacterCount(const std::string& text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); pos = NextCharacter(text.c_str(), pos)) ++count;
    return count;
}

class Parser {
public:
    Parser(const char* text, const TextPlatform& platform) : m_reader(text, platform) {}

    ScriptResult Parse(ScriptTree* tree);

private:
    ScriptResult ParseRootBlock(std::vector<ScriptItem>* items, size_t* maxDepth);
    ScriptResult ParseItem(std::string* token, ScriptItem* item);
    // Reads the type letter and the data after an assignment token.
    ScriptResult ParseValue(ScriptItem* item);
    // Reads over an assignment's type letter and data when `token` is one,
    // and reads the next token into `token`.
    ScriptResult SkipAssignment(std::string* token);
    ScriptResult CheckKeyName(const std::string& name) const;
    bool IsProtected(const std::string& name) const;

    ScriptResult ReadToken(std::string* token) { return m_reader.ReadToken(token); }
    bool Is(const std::string& token, const char* word) const { return m_reader.Is(token, word); }

    ScriptReader m_reader;
};

ScriptResult Parser::Parse(ScriptTree* tree) {
    std::vector<ScriptItem> items;
    size_t maxDepth = 0;
    while (!m_reader.AtEnd()) {
        QUARN_RETURN_IF_SCRIPT_FAILED(ParseRootBlock(&items, &maxDepth));
        m_reader.SkipWhiteSpace();
    }
    tree->items = std::move(items);
    tree->maxDepth = maxDepth;
    return kScriptOk;
}

ScriptResult Parser::ParseRootBlock(std::vector<ScriptItem>* items, size_t* maxDepth) {
    std::string token;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&token));
    ScriptItem root;
    root.kind = ScriptItemKind::Root;
    bool found = false;
    for (const RootName& row : kRootNames) {
        if (Is(token, row.name)) {
            root.root = row.root;
            found = true;
            break;
        }
    }
    if (!found) return kScriptSyntaxError;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&token));
    if (token.empty() || token[0] != '{') return kScriptSyntaxError;
    root.hasBlock = true;

    // The blocks still open, innermost last.
    std::vector<size_t> open{items->size()};
    items->push_back(std::move(root));
    if (*maxDepth < 1) *maxDepth = 1;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&token));
    for (;;) {
        if (IsClosingBrace(token)) {
            (*items)[open.back()].end = items->size();
            open.pop_back();
            if (open.empty()) return kScriptOk;
            QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&token));
            continue;
        }
        ScriptItem item;
        QUARN_RETURN_IF_SCRIPT_FAILED(ParseItem(&token, &item));
        const bool opensBlock = item.hasBlock;
        items->push_back(std::move(item));
        if (opensBlock) {
            open.push_back(items->size() - 1);
            if (open.size() > *maxDepth) *maxDepth = open.size();
            QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&token));
        } else {
            items->back().end = items->size();
        }
    }
}

// Reads one item that begins with `token`. On return `token` holds the "{"
// that opens the item's block, or else the first token after the item.
ScriptResult Parser::ParseItem(std::string* token, ScriptItem* item) {
    if (Is(*token, "ForceRemove") || Is(*token, "Delete")) {
        const bool isDelete = Is(*token, "Delete");
        std::string name;
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&name));
        QUARN_RETURN_IF_SCRIPT_FAILED(CheckKeyName(name));
        item->removeFirst = true;
        item->removeProtected = IsProtected(name);
        item->removeName = name;
        if (isDelete) {
            // A Delete item has no block; its assignment, if any, is read over.
            item->kind = ScriptItemKind::Delete;
            item->name = std::move(name);
            QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
            QUARN_RETURN_IF_SCRIPT_FAILED(SkipAssignment(token));
            return IsOpeningBraceAlone(*token) ? kScriptSyntaxError : kScriptOk;
        }
        *token = std::move(name);
    }
    if (Is(*token, "NoRemove")) {
        item->keep = true;
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
    }
    if (Is(*token, "Val")) {
        item->kind = ScriptItemKind::Value;
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&item->name));
        if (item->name.size() > kMaxValueNameLength) return kScriptSyntaxError;
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
        if (!IsAssignment(*token)) return kScriptSyntaxError;
        QUARN_RETURN_IF_SCRIPT_FAILED(ParseValue(item));
        // A value has no block.
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
        return IsOpeningBraceAlone(*token) ? kScriptSyntaxError : kScriptOk;
    }

    QUARN_RETURN_IF_SCRIPT_FAILED(CheckKeyName(*token));
    item->kind = ScriptItemKind::Key;
    item->name = std::move(*token);
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
    if (IsAssignment(*token)) {
        QUARN_RETURN_IF_SCRIPT_FAILED(ParseValue(item));
        QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(token));
    }
    item->hasBlock = IsOpeningBraceAlone(*token);
    return kScriptOk;
}

ScriptResult Parser::ParseValue(ScriptItem* item) {
    std::string letter;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&letter));
    bool found = false;
    for (const TypeLetter& row : kTypeLetters) {
        if (Is(letter, row.letter)) {
            item->type = row.type;
            found = true;
            break;
        }
    }
    if (!found) return kScriptSyntaxError;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&item->data));
    if (item->type == ScriptValueType::Binary && CharacterCount(item->data) % 2 != 0)
        return kScriptFail;
    item->hasValue = true;
    return kScriptOk;
}

ScriptResult Parser::SkipAssignment(std::string* token) {
    if (!IsAssignment(*token)) return kScriptOk;
    std::string skipped;
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&skipped));  // type letter
    QUARN_RETURN_IF_SCRIPT_FAILED(ReadToken(&skipped));  // data
    return ReadToken(token);
}

ScriptResult Parser::CheckKeyName(const std::string& name) const {
    // A key name names exactly one level below its parent: an empty name
    // would stand for the parent itself.
    if (name.empty()) return kScriptSyntaxError;
    const char* text = name.c_str();
    for (size_t pos = 0; text[pos] != '\0'; pos = NextCharacter(text, pos)) {
        if (text[pos] == '\\') return kScriptSyntaxError;
    }
    return kScriptOk;
}

bool Parser::IsProtected(const std::string& name) const {
    for (const char* protectedName : kProtectedKeyNames) {
        if (Is(name, protectedName)) return true;
    }
    return false;
}

unsigned char HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 'a' + 10);
    return 0;
}

}  // namespace

ScriptResult ParseScript(const char* text, const TextPlatform& platform, ScriptTree* tree) {
    tree->items.clear();
    tree->maxDepth = 0;
    try {
        Parser parser(text, platform);
        return parser.Parse(tree);
    } catch (const std::bad_alloc&) {
        return kScriptOutOfMemory;
    }
}

std::vector<unsigned char> BinaryFromDigits(const std::string& digits) {
    std::vector<unsigned char> bytes;
    bytes.reserve(digits.size() / 2);
    size_t index = 0;
    for (size_t pos = 0; pos < digits.size(); ++index) {
        const size_t next = NextCharacter(digits.c_str(), pos);
        // A character of more than one byte is no digit.
        const unsigned char value = next == pos + 1 ? HexDigitValue(digits[pos]) : 0;
        if (index % 2 == 0) bytes.push_back(static_cast<unsigned char>(value << 4));
        else bytes.back() = static_cast<unsigned char>(bytes.back() | value);
        pos = next;
    }
    return bytes;
}
