// The grammar of the registration script language: expanded script text in,
// a small tree of root blocks, keys and values out. Reading the whole text
// first means that a run which meets a fault of the text ends before it has
// touched the registry. Free of Win32, like the text layer it reads with.
//
// The tree is flat: the items stand in the order of the text, and each one
// records where its subtree ends, so that neither building, walking over nor
// freeing a deeply nested text needs recursion.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "server/script_text.h"

// The predefined keys a root block can name, in the order of the root-key table.
enum class ScriptRoot { ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, DynData, CurrentConfig };

enum class ScriptValueType { String, Dword, Binary };

enum class ScriptItemKind {
    Root,   // a root block: `root`, its items below it
    Key,    // a key: `name`, optionally a default value and a block of items
    Value,  // a named value of the enclosing key: `name` and its data
    Delete  // a "Delete" item: the key `name` is removed on registering
};

struct ScriptItem {
    ScriptItemKind kind = ScriptItemKind::Key;
    ScriptRoot root = ScriptRoot::ClassesRoot;
    std::string name;
    // "ForceRemove" or "Delete": the tree `removeName` under the enclosing key
    // goes before the item is registered, unless `removeName` is one of the
    // protected names (CLSID, TypeLib). The name after the prefix is taken
    // whatever it says, so the item itself may still turn out to be a
    // "NoRemove" key or a value.
    bool removeFirst = false;
    bool removeProtected = false;
    std::string removeName;
    bool keep = false;  // "NoRemove": unregistering never deletes the key
    bool hasValue = false;
    ScriptValueType type = ScriptValueType::String;
    std::string data;  // the data token as written; hexadecimal digits for Binary
    bool hasBlock = false;
    size_t end = 0;  // index one past the last item of this item's subtree
};

struct ScriptTree {
    // Root blocks follow each other; the children of item i are i + 1, then
    // each next sibling at the previous sibling's `end`, up to items[i].end.
    std::vector<ScriptItem> items;
    // Nesting of the deepest block: a root block's own block counts 1.
    size_t maxDepth = 0;
};

// Reads the whole NUL-terminated, already expanded `text` into `tree`.
// Results: kScriptOk; kScriptSyntaxError for every fault of the text (a root
// name not in the table or no "{" after it, a missing token or closing
// quote, an overlong token or value name, a "\" in or an empty key name, a
// value without its assignment, a type letter not in the table, a block after
// a value or a Delete item); kScriptFail for "B" data of odd length;
// kScriptOutOfMemory. On failure `tree` is left empty.
ScriptResult ParseScript(const char* text, const TextPlatform& platform, ScriptTree* tree);

// The bytes of "B" data: two hexadecimal digits a byte, a character that is
// no digit counting as 0. The data has an even number of characters.
std::vector<unsigned char> BinaryFromDigits(const std::string& digits);
