// Host tool of the build: reads registry scripts through the library's own
// script parser (server/script_text.h, server/script_tree.h) and prints
// either the COM classes they register, one line each, for the assembly
// manifest (cmake/AssemblyManifestGen.cmake):
//   CLSID <tab> ThreadingModel <tab> ProgID <tab> VersionIndependentProgID <tab> description
// or, with --rows, every registry entry they write below HKEY_CLASSES_ROOT,
// one line each, for the Windows Installer packages
// (cmake/InstallerSourceGen.cmake):
//   key path <tab> value name <tab> type <tab> data
// where the value name is empty for a key's default value and "*" for a key
// that holds nothing (created on install, removed on removal), and the type
// is "string" or "integer".
//
//   script_classes [--rows] <output file> <script.rgs>...
//
// A class is a key below "HKCR { CLSID { ... } }" with a default value (the
// description), "ProgID" and "VersionIndependentProgID" subkeys and an
// "InprocServer32" subkey whose "ThreadingModel" value names the model.
// Placeholders expand to the module's file name for classes, and stay
// "%MODULE%" for rows. Exits 1, saying why, when a script does not parse,
// registers no complete class, or (rows) writes what a package cannot hold.
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>
#include "server/script_text.h"
#include "server/script_tree.h"

namespace {
class Reader {
public:
    Reader(const ScriptTree& tree, const std::string& file) : m_tree(tree), m_file(file) {}

    // The classes of every "HKCR { CLSID { ... } }" block, appended to `lines`.
    bool ReadClasses(std::vector<std::string>* lines) const {
        for (size_t root = 0; root < m_tree.items.size(); root = m_tree.items[root].end) {
            if (m_tree.items[root].root != ScriptRoot::ClassesRoot) continue;
            const size_t classes = Child(root, ScriptItemKind::Key, "CLSID");
            if (classes == kNone) continue;
            for (size_t item = classes + 1; item < m_tree.items[classes].end; item = m_tree.items[item].end)
                if (m_tree.items[item].kind == ScriptItemKind::Key && !ReadClass(item, lines)) return false;
        }
        if (lines->empty()) return Fail("registers no class");
        return true;
    }

    // Every entry of every "HKCR { ... }" block, appended to `lines`.
    bool ReadRows(std::vector<std::string>* lines) const {
        for (size_t root = 0; root < m_tree.items.size(); root = m_tree.items[root].end) {
            if (m_tree.items[root].root != ScriptRoot::ClassesRoot) return Fail("writes outside HKCR");
            for (size_t item = root + 1; item < m_tree.items[root].end; item = m_tree.items[item].end)
                if (!ReadRows(item, std::string(), lines)) return false;
        }
        if (lines->empty()) return Fail("writes nothing");
        return true;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // The child of `parent` of that kind and name (letter case ignored).
    size_t Child(size_t parent, ScriptItemKind kind, const char* name) const {
        for (size_t item = parent + 1; item < m_tree.items[parent].end; item = m_tree.items[item].end)
            if (m_tree.items[item].kind == kind && CompareAsciiNoCase(m_tree.items[item].name.c_str(), name) == 0)
                return item;
        return kNone;
    }

    // The string data of the child `name` of `parent`; false when it has none.
    bool StringOf(size_t parent, ScriptItemKind kind, const char* name, std::string* text) const {
        const size_t item = parent == kNone ? kNone : Child(parent, kind, name);
        if (item == kNone || !m_tree.items[item].hasValue || m_tree.items[item].type != ScriptValueType::String)
            return false;
        *text = m_tree.items[item].data;
        return true;
    }

    bool ReadClass(size_t item, std::vector<std::string>* lines) const {
        const ScriptItem& key = m_tree.items[item];
        std::string progId, independent, threading;
        if (!key.hasValue || key.type != ScriptValueType::String) return Fail(key.name + " has no description");
        if (!StringOf(item, ScriptItemKind::Key, "ProgID", &progId)) return Fail(key.name + " names no ProgID");
        if (!StringOf(item, ScriptItemKind::Key, "VersionIndependentProgID", &independent))
            return Fail(key.name + " names no VersionIndependentProgID");
        if (!StringOf(Child(item, ScriptItemKind::Key, "InprocServer32"), ScriptItemKind::Value, "ThreadingModel",
                      &threading))
            return Fail(key.name + " names no InprocServer32 ThreadingModel");
        const std::string fields[] = {key.name, threading, progId, independent, key.data};
        std::string line;
        for (const std::string& field : fields) {
            // The build reads the lines as CMake lists.
            if (field.find_first_of("\t\r\n;") != std::string::npos)
                return Fail(key.name + " holds a tab, a line break or a semicolon");
            line += (line.empty() ? "" : "\t") + field;
        }
        lines->push_back(line);
        return true;
    }

    // The rows of the key `item` below `parent` (empty at the root) and of its subtree.
    bool ReadRows(size_t item, const std::string& parent, std::vector<std::string>* lines) const {
        const ScriptItem& key = m_tree.items[item];
        if (key.kind != ScriptItemKind::Key) return Fail(key.name + ": no package row for a value or Delete item here");
        const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
        if (key.hasValue && !AddRow(path, "", key, lines)) return false;
        bool leaf = true;
        for (size_t child = item + 1; child < key.end; child = m_tree.items[child].end) {
            leaf = false;
            const ScriptItem& entry = m_tree.items[child];
            if (entry.kind == ScriptItemKind::Value) {
                if (!AddRow(path, entry.name, entry, lines)) return false;
            } else if (!ReadRows(child, path, lines)) {
                return false;
            }
        }
        // A key that holds nothing is a row of its own; a NoRemove one would
        // outlive the package, which is not ours to decide.
        if (leaf && !key.hasValue) {
            if (key.keep) return Fail(path + ": an empty NoRemove key has no package row");
            return AddLine({path, "*", "", ""}, lines);
        }
        return true;
    }

    bool AddRow(const std::string& path, const std::string& name, const ScriptItem& item,
                std::vector<std::string>* lines) const {
        if (item.type == ScriptValueType::Binary) return Fail(path + ": binary data has no package row");
        return AddLine({path, name, item.type == ScriptValueType::Dword ? "integer" : "string", item.data}, lines);
    }

    bool AddLine(std::initializer_list<std::string> fields, std::vector<std::string>* lines) const {
        std::string line;
        bool first = true;
        for (const std::string& field : fields) {
            // The build reads the lines as CMake lists.
            if (field.find_first_of("\t\r\n;") != std::string::npos)
                return Fail(*fields.begin() + " holds a tab, a line break or a semicolon");
            line += (first ? "" : "\t") + field;
            first = false;
        }
        lines->push_back(line);
        return true;
    }

    bool Fail(const std::string& why) const {
        std::cerr << "script_classes: " << m_file << ": " << why << "\n";
        return false;
    }

    const ScriptTree& m_tree;
    const std::string& m_file;
};
}  // namespace

int main(int argc, char** argv) {
    const bool rows = argc > 1 && std::string(argv[1]) == "--rows";
    if (rows) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::cerr << "usage: script_classes [--rows] <output file> <script.rgs>...\n";
        return 1;
    }
    ReplacementTable replacements;
    if (!replacements.Add(u"Module", rows ? u"%MODULE%" : u"quarnver.dll")) return 1;
    std::vector<std::string> lines;
    for (int i = 2; i < argc; ++i) {
        const std::string file = argv[i];
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        if (!in) {
            std::cerr << "script_classes: cannot read " << file << "\n";
            return 1;
        }
        std::string expanded;
        ScriptTree tree;
        if (ExpandReplacements(bytes.str().c_str(), replacements, kAsciiTextPlatform, &expanded) != kScriptOk ||
            ParseScript(expanded.c_str(), kAsciiTextPlatform, &tree) != kScriptOk) {
            std::cerr << "script_classes: " << file << " is no valid registry script\n";
            return 1;
        }
        std::vector<std::string> found;
        const Reader reader(tree, file);
        if (!(rows ? reader.ReadRows(&found) : reader.ReadClasses(&found))) return 1;
        lines.insert(lines.end(), found.begin(), found.end());
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
    out.close();
    if (!out) {
        std::cerr << "script_classes: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
