// Thousands of random and mutated registration scripts through the real
// interpreter, against a scratch key of the current user. Every script's
// root block is
//   HKCU { NoRemove Software { NoRemove QuarnverTest { NoRemove <scratch> { random items } } } }
// and the random items are built so that, whatever faults they carry, no
// token can close a block early: nothing the interpreter does may reach
// outside the scratch key. A sibling canary key, the parent's own values and
// subkeys, and the subkeys of Software prove it after every script.
// A valid script, registered and then unregistered, leaves the scratch key
// exactly as it was.
//
// Fixed seed; about 20 seconds. QUARNVER_REGFUZZ_SECONDS runs longer,
// QUARNVER_REGFUZZ_SEED picks another seed.
#include <doctest/doctest.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
#include "robustness_support.h"
#include "server/registration_script.h"
#include "test_support.h"

namespace {
const wchar_t kParent[] = L"Software\\QuarnverTest";
const wchar_t kScratch[] = L"Software\\QuarnverTest\\RegScriptFuzz";
const wchar_t kCanary[] = L"Software\\QuarnverTest\\RegScriptFuzzCanary";
const char kScratchName[] = "RegScriptFuzz";

// ---------------------------------------------------------------------------
// Registry snapshots

std::wstring HexBytes(const BYTE* data, DWORD size) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (DWORD i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

// Values (name, type, data) of one open key, in enumeration order.
void AppendValues(HKEY key, const std::wstring& prefix, std::wstring* out) {
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG error = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (error == ERROR_MORE_DATA) {
            data.resize(dataSize + 2);
            --i;
            continue;
        }
        if (error != ERROR_SUCCESS) break;
        *out += prefix + L"=" + std::wstring(name.data(), nameLength) + L":" + std::to_wstring(type) + L":" +
                HexBytes(data.data(), dataSize) + L"\n";
    }
}

std::vector<std::wstring> Subkeys(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// The whole tree below root\path as text; "<missing>" when it is not there.
void AppendTree(HKEY root, const std::wstring& path, const std::wstring& shown, std::wstring* out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        *out += shown + L" <missing>\n";
        return;
    }
    *out += shown + L"\n";
    AppendValues(key, shown, out);
    for (const std::wstring& sub : Subkeys(key)) AppendTree(key, sub, shown + L"\\" + sub, out);
    RegCloseKey(key);
}

std::wstring Tree(HKEY root, const std::wstring& path) {
    std::wstring text;
    AppendTree(root, path, L"", &text);
    return text;
}

// What lies outside the scratch key and could be reached from it: the
// canary's tree, the parent's values and subkey names, and the subkey names
// of Software.
std::wstring Outside() {
    std::wstring text = L"canary:\n" + Tree(HKEY_CURRENT_USER, kCanary);
    for (const wchar_t* path : {kParent, L"Software"}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        text += std::wstring(path) + L":\n";
        AppendValues(key, L"", &text);
        for (const std::wstring& sub : Subkeys(key)) {
            // Other tests keep their backups and the stand-ins their channel here.
            if (sub.rfind(L"Backup", 0) == 0 || sub == L"StandIns") continue;
            text += L"  " + sub + L"\n";
        }
        RegCloseKey(key);
    }
    return text;
}

void ResetScratch() {
    DeleteTree(HKEY_CURRENT_USER, kScratch);
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
            ERROR_SUCCESS);
    RegCloseKey(key);
}

void MakeCanary() {
    DeleteTree(HKEY_CURRENT_USER, kCanary);
    const DWORD number = 0x12345678;
    SetRegString(HKEY_CURRENT_USER, kCanary, L"", L"canary");
    SetRegValue(HKEY_CURRENT_USER, kCanary, L"Number", REG_DWORD, &number, sizeof number);
    for (const wchar_t* sub : {L"\\A", L"\\B\\C", L"\\CLSID", L"\\q"})
        SetRegString(HKEY_CURRENT_USER, std::wstring(kCanary) + sub, L"v", sub);
}

// ---------------------------------------------------------------------------
// The generator

// Letters that cannot spell a keyword ("Val", "Delete", "NoRemove",
// "ForceRemove"), so that no name or piece of a name is ever read as one.
const char kNameLetters[] = "bghijkpqsuwxyzBGHIJKPQSUWXYZ0123456789_-.+#!@~$()[];,^";

enum class Fault {
    None,
    WrongTypeLetter,
    OddBinary,
    BackslashInKeyName,
    ValueWithoutAssignment,
    OverlongToken,
    OverlongValueName,
    UnknownPlaceholder,
    LongPlaceholderName,
    LonePercentAtEnd,
    UnclosedQuoteAtEnd,
    Truncated,
    MissingClosingBrace,
    DeleteWithBlock,
    ValueWithBlock,
    EmptyKeyName,
    EmbeddedNul,
    OverlongKeyName,
    Count,
};

class ScriptGenerator {
public:
    explicit ScriptGenerator(uint32_t seed) : m_random(seed) {}

    struct Script {
        std::string text;
        Fault fault = Fault::None;
        bool hasNoRemove = false;
        bool hasUnnamedValue = false;
    };

    Script Next() {
        Script script;
        m_fault = Chance(3) ? Fault::None : static_cast<Fault>(1 + Below(static_cast<int>(Fault::Count) - 1));
        m_faultPlaced = m_fault == Fault::None;
        m_noRemove = false;
        m_unnamedValue = false;
        m_allowNoRemove = Chance(4);
        std::string inner;
        const int items = 1 + Below(8);
        for (int i = 0; i < items; ++i) inner += Item(1);
        if (!m_faultPlaced) inner += FaultItem();  // a fault the items had no place for
        switch (m_fault) {
        case Fault::UnclosedQuoteAtEnd: inner += "\r\n'never closed"; break;
        case Fault::LonePercentAtEnd: break;
        default: break;
        }
        std::string text = "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove QuarnverTest\r\n\t\t{\r\n"
                           "\t\t\tNoRemove " +
                           std::string(kScratchName) + "\r\n\t\t\t{\r\n" + inner +
                           "\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";
        const size_t innerStart = text.find(inner);
        if (m_fault == Fault::Truncated) text.resize(innerStart + Below(static_cast<int>(inner.size()) + 1));
        if (m_fault == Fault::LonePercentAtEnd) text += "%";
        if (m_fault == Fault::MissingClosingBrace) {
            // Removing a closing brace only ever deepens what follows.
            const size_t brace = text.rfind('}', innerStart + inner.size());
            if (brace != std::string::npos && brace >= innerStart) text.erase(brace, 1);
            else text.erase(text.rfind('}'), 1);
        }
        if (m_fault == Fault::EmbeddedNul) text.insert(innerStart + Below(static_cast<int>(inner.size()) + 1), 1, '\0');
        script.text = text;
        script.fault = m_fault;
        script.hasNoRemove = m_noRemove;
        script.hasUnnamedValue = m_unnamedValue;
        return script;
    }

private:
    int Below(int n) { return n <= 0 ? 0 : static_cast<int>(m_random() % static_cast<uint32_t>(n)); }
    bool Chance(int oneIn) { return Below(oneIn) == 0; }
    // Whether the fault goes into this item (once per script).
    bool Take(Fault fault) {
        if (m_faultPlaced || m_fault != fault || !Chance(3)) return false;
        m_faultPlaced = true;
        return true;
    }

    static std::string Quoted(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) {
            quoted += c;
            if (c == '\'') quoted += '\'';
        }
        return quoted + "'";
    }

    std::string KeyName() {
        std::string name;
        const int length = 1 + Below(12);
        for (int i = 0; i < length; ++i) {
            const int pick = Below(10);
            if (pick == 0) name += static_cast<char>(0xC0 + Below(64));  // Cyrillic in code page 1251
            else name += kNameLetters[Below(sizeof kNameLetters - 1)];
        }
        if (Chance(20)) return Chance(2) ? "CLSID" : "TypeLib";
        if (Chance(4)) return Quoted(name + " " + name);  // white space inside quotes
        return name;
    }

    // Any text: quoted, so braces, "=", quotes and line ends mean nothing.
    std::string AnyText() {
        static const char* const pieces[] = {"{", "}", "=", "'", "''", " ", "\r\n", "\t", "%%", "%MODULE%",
                                             "%module%", "\\", "\xD0\xE0", "text", "val", "Delete", "HKCR"};
        std::string text;
        const int count = Below(6);
        for (int i = 0; i < count; ++i) text += pieces[Below(sizeof pieces / sizeof pieces[0])];
        return Quoted(text);
    }

    std::string Assignment(bool* binaryOdd = nullptr) {
        std::string letter;
        std::string data;
        switch (Below(3)) {
        case 0:
            letter = Chance(2) ? "s" : "S";
            data = AnyText();
            break;
        case 1: {
            letter = Chance(2) ? "d" : "D";
            static const char* const numbers[] = {"0", "305419896", "4294967295", "4294967296", "-1", "0x10",
                                                  "abc", "''", "12345678901234567890"};
            data = numbers[Below(sizeof numbers / sizeof numbers[0])];
            break;
        }
        default: {
            letter = Chance(2) ? "b" : "B";
            const int pairs = Below(10);
            for (int i = 0; i < 2 * pairs; ++i) data += "0123456789abcdefABCDEFzz"[Below(24)];
            if (data.empty()) data = "''";
            break;
        }
        }
        if (Take(Fault::WrongTypeLetter)) letter = Chance(2) ? "X" : "SS";
        if (Take(Fault::OddBinary)) {
            letter = "B";
            data = "123";
        }
        if (Take(Fault::OverlongToken)) data = Quoted(std::string(5000, 'z'));
        if (Take(Fault::UnknownPlaceholder)) data = Quoted("%NOSUCHNAME%");
        if (Take(Fault::LongPlaceholderName)) data = Quoted("%" + std::string(32, 'N') + "%");
        (void)binaryOdd;
        return " = " + letter + " " + data;
    }

    std::string Indent(int depth) { return std::string(static_cast<size_t>(depth) + 3, '\t'); }

    std::string Item(int depth) {
        const int kind = Below(10);
        if (kind < 3) {
            // A value.
            // The unnamed value of the scratch key itself stays: a NoRemove key
            // that holds nothing but its default value is kept and its block
            // only read over. Scripts that write it are not round-tripped.
            std::string name = Chance(5) ? "''" : AnyText();
            if (name == "''" && depth == 1) m_unnamedValue = true;
            if (Take(Fault::OverlongValueName)) name = Quoted(std::string(300, 'v'));
            std::string item = Indent(depth) + (Chance(2) ? "val " : "Val ") + name;
            if (Take(Fault::ValueWithoutAssignment)) return item + " s 'x'\r\n";
            item += Assignment() + "\r\n";
            if (Take(Fault::ValueWithBlock)) item += Indent(depth) + "{\r\n" + Indent(depth) + "}\r\n";
            return item;
        }
        if (kind == 3) {
            std::string item = Indent(depth) + "Delete " + KeyName();
            if (Take(Fault::DeleteWithBlock)) item += "\r\n" + Indent(depth) + "{\r\n" + Item(depth + 1) + Indent(depth) + "}";
            return item + "\r\n";
        }
        // A key.
        std::string item = Indent(depth);
        if (Chance(4)) item += "ForceRemove ";
        else if (m_allowNoRemove && Chance(6)) {
            item += "NoRemove ";
            m_noRemove = true;
        }
        std::string name = KeyName();
        if (Take(Fault::BackslashInKeyName)) name = "a\\b";
        if (Take(Fault::EmptyKeyName)) name = "''";
        if (Take(Fault::OverlongKeyName)) name = std::string(300, 'k');
        item += name;
        if (Chance(2)) item += Assignment();
        if (depth < 5 && Chance(2)) {
            item += "\r\n" + Indent(depth) + "{\r\n";
            const int children = Below(5);
            for (int i = 0; i < children; ++i) item += Item(depth + 1);
            item += Indent(depth) + "}";
        }
        return item + "\r\n";
    }

    // An item that carries the script's fault, when the random items did not.
    std::string FaultItem() {
        m_faultPlaced = false;
        const Fault fault = m_fault;
        for (int tries = 0; tries < 64 && !m_faultPlaced; ++tries) {
            std::string item;
            switch (fault) {
            case Fault::WrongTypeLetter: case Fault::OddBinary: case Fault::OverlongToken:
            case Fault::UnknownPlaceholder: case Fault::LongPlaceholderName:
                item = Indent(1) + "Val x" + Assignment() + "\r\n";
                break;
            default:
                item = Item(1);
                break;
            }
            if (m_faultPlaced) return item;
        }
        m_faultPlaced = true;
        return std::string();  // faults applied to the whole text need no item
    }

    std::mt19937 m_random;
    Fault m_fault = Fault::None;
    bool m_faultPlaced = true;
    bool m_noRemove = false;
    bool m_unnamedValue = false;
    bool m_allowNoRemove = false;
};

bool IsScriptResult(HRESULT hr) { return hr == S_OK || hr == DISP_E_EXCEPTION || hr == E_FAIL; }

double Budget() {
    const char* seconds = getenv("QUARNVER_REGFUZZ_SECONDS");
    return seconds ? atof(seconds) : 20.0;
}

uint32_t Seed() {
    const char* seed = getenv("QUARNVER_REGFUZZ_SEED");
    return seed ? static_cast<uint32_t>(strtoul(seed, nullptr, 0)) : 20261207u;
}
}  // namespace

TEST_CASE("random and mutated registration scripts stay inside their scratch key and end with an HRESULT") {
    KeyBackup parentBackup(HKEY_CURRENT_USER, kScratch);
    MakeCanary();
    ResetScratch();
    ReplacementTable replacements;
    REQUIRE(replacements.Add(L"Module", L"C:\\Program Files\\It''s\\quarnver.dll"));
    ScriptGenerator generator(Seed());
    const std::wstring outside = Outside();
    const std::wstring emptyScratch = Tree(HKEY_CURRENT_USER, kScratch);

    const double start = Seconds();
    int runs = 0, valid = 0, roundTrips = 0;
    int results[3] = {0, 0, 0};
    while (Seconds() - start < Budget()) {
        const ScriptGenerator::Script script = generator.Next();
        ++runs;
        INFO("script " << runs << ":\n" << script.text);
        const HRESULT registered = RunRegistrationScript(script.text, replacements, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT});
        CHECK(IsScriptResult(registered));
        results[registered == S_OK ? 0 : registered == DISP_E_EXCEPTION ? 1 : 2]++;
        if (script.fault == Fault::None) {
            ++valid;
            CHECK(registered == S_OK);
        }
        const HRESULT unregistered = RunRegistrationScript(script.text, replacements, FALSE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT});
        CHECK(IsScriptResult(unregistered));
        if (script.fault == Fault::None && !script.hasNoRemove && !script.hasUnnamedValue && registered == S_OK) {
            ++roundTrips;
            CHECK(unregistered == S_OK);
            CHECK(WideToUtf8(Tree(HKEY_CURRENT_USER, kScratch)) == WideToUtf8(emptyScratch));
        }
        const std::wstring now = Outside();
        if (now != outside) {
            CHECK(WideToUtf8(now) == WideToUtf8(outside));
            break;  // the rest would only repeat it
        }
        ResetScratch();
    }
    printf("seed %u: %d scripts in %.1f s (%d without faults, %d round trips); register results: S_OK %d, "
           "DISP_E_EXCEPTION %d, E_FAIL %d\n",
           Seed(), runs, Seconds() - start, valid, roundTrips, results[0], results[1], results[2]);
    CHECK(runs > 100);
    CHECK(roundTrips > 10);
    DeleteTree(HKEY_CURRENT_USER, kCanary);
}
