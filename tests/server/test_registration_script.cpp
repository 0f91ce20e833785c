#include <doctest/doctest.h>
#include "import_patch.h"
#include "server/registry_native.h"
#include "test_registration_support.h"

namespace {
constexpr HRESULT kSyntax = DISP_E_EXCEPTION;

struct RegisterCase {
    const char* what;
    std::string script;
    HRESULT result;
    const char* dump;  // the scratch root after the register pass
};

void CheckRegisterCases(const std::vector<RegisterCase>& cases) {
    for (const RegisterCase& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ScratchKey scratch(kScratchName);
        CHECK(Run(c.script, TRUE) == c.result);
        CHECK(DumpScratch() == c.dump);
    }
}

HKEY CreateScratchKey(const wchar_t* relative) {
    std::wstring path = kScratchPath;
    if (*relative) path += std::wstring(L"\\") + relative;
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

void AddScratchKey(const wchar_t* relative) { RegCloseKey(CreateScratchKey(relative)); }

void SetScratchString(const wchar_t* relative, const wchar_t* name, const wchar_t* text) {
    HKEY key = CreateScratchKey(relative);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveScratchKey(const wchar_t* relative) {
    DeleteTree(HKEY_CURRENT_USER, std::wstring(kScratchPath) + L"\\" + relative);
}
}  // namespace

TEST_CASE("register pass: tokens, keywords, types and data") {
    CheckRegisterCases({
        {"quoted tokens undo '' and may be empty",
         InScratch("A = s 'it''s' { val 'Name With Space' = s '' }"), S_OK,
         "[]\n[A]\nA:@=sz:it's\nA:Name With Space=sz:"},
        {"keywords and type letters ignore case",
         InScratch("val a = S 'x' VAL b = s 'y' Val c = d 7 vAl e = b 0f NOREMOVE K { }"), S_OK,
         "[]\n:a=sz:x\n:b=sz:y\n:c=dword:0x00000007\n:e=bin:0f\n[K]"},
        {"root names ignore case",
         "hkey_current_user { noremove software { noremove quarnvertest { Regscript { val x = s 'y' } } } }"
         " hkcu { noremove software { noremove quarnvertest { Regscript { val z = s 'w' } } } }",
         S_OK, "[]\n:x=sz:y\n:z=sz:w"},
        {"D writes a number, B writes hexadecimal bytes",
         InScratch("val d = d 305419896 val b1 = b 0A1b val b2 = b zz val b3 = b '' val bad = d 'abc'"), S_OK,
         "[]\n:b1=bin:0a1b\n:b2=bin:00\n:b3=bin:\n:bad=dword:0x00000000\n:d=dword:0x12345678"},
        {"a key name beginning with { opens no block",
         InScratch("{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF} = s 'x' { {Inner} } A {B"), S_OK,
         "[]\n[A]\n[{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}]\n{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}:@=sz:x\n"
         "[{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}\\{Inner}]\n[{B]"},
        {"an equals sign between words is part of one token", InScratch("A=s 'x'"), S_OK, "[]\n[A=s]\n[x]"},
        {"a quoted = is an assignment", InScratch("A '=' s 'v'"), S_OK, "[]\n[A]\nA:@=sz:v"},
        {"a value name may hold a backslash", InScratch("val 'a\\b' = s 'c'"), S_OK, "[]\n:a\\b=sz:c"},
        {"white space is space, tab, CR and LF",
         "HKCU\r\n{\tNoRemove\nSoftware { NoRemove QuarnverTest { Regscript { A\r\n=\ts\n'v' } } } }", S_OK,
         "[]\n[A]\nA:@=sz:v"},
        {"an empty script does nothing", "", S_OK, "<absent>"},
        // The script is UTF-8 under every ANSI code page (this program also runs under 932).
        {"names and data in any script reach the registry whole",
         InScratch("'Ωmega Zoë' = s 'Ярослав ✓ 😀' { val 'ソース' = s 'ΣΕΡΒΕΡ-1' }"), S_OK,
         "[]\n[Ωmega Zoë]\nΩmega Zoë:@=sz:Ярослав ✓ 😀\nΩmega Zoë:ソース=sz:ΣΕΡΒΕΡ-1"},
        {"a byte that starts no whole character never swallows the quote after it",
         InScratch("val a = s '\xE2' val b = s 'x\xF0' val c = s '\x81'"), S_OK,
         "[]\n:a=sz:\xEF\xBF\xBD\n:b=sz:x\xEF\xBF\xBD\n:c=sz:\xEF\xBF\xBD"},
    });
}

// The whole text is read before the registry is touched: a fault anywhere in
// it leaves nothing behind, not even the scratch root that encloses it.
TEST_CASE("register pass: faults of the text end the run before anything is written") {
    CheckRegisterCases({
        {"white space only", " \t\r\n ", kSyntax, "<absent>"},
        {"root name glued to its brace",
         "HKCU{ NoRemove Software { NoRemove QuarnverTest { Regscript { A } } } }", kSyntax, "<absent>"},
        {"root name not in the table", "HKXX { }", kSyntax, "<absent>"},
        {"no brace after the root name", "HKCU Software", kSyntax, "<absent>"},
        {"backslash in a key name", InScratch("A { B\\C }"), kSyntax, "<absent>"},
        {"backslash in a ForceRemove name", InScratch("ForceRemove 'B\\C'"), kSyntax, "<absent>"},
        {"value without assignment", InScratch("A { val x s 'y' }"), kSyntax, "<absent>"},
        {"type letter not in the table", InScratch("A = x 'y'"), kSyntax, "<absent>"},
        {"type letter longer than one letter", InScratch("A = sz 'y'"), kSyntax, "<absent>"},
        {"odd number of B digits", InScratch("A { val b = b 123 }"), E_FAIL, "<absent>"},
        {"quoted token without closing quote", InScratch("A = s 'y"), kSyntax, "<absent>"},
        {"block after a value", InScratch("val x = s 'y' { }"), kSyntax, "<absent>"},
        {"block after a Delete item", InScratch("Delete Gone { }"), kSyntax, "<absent>"},
        {"empty key name", InScratch("A { '' }"), kSyntax, "<absent>"},
        {"missing closing brace", "HKCU { NoRemove Software { NoRemove QuarnverTest { Regscript { A = s 'x'",
         kSyntax, "<absent>"},
    });
}

TEST_CASE("placeholders: %% and names in any letter case; the limits of a name") {
    ReplacementTable table;
    REQUIRE(table.Add(L"Module", L"C:\\Some Dir\\it''s.dll"));
    REQUIRE(table.Add(L"Name31_abcdefghijklmnopqrstuvwx", L"thirty-one"));  // 31 characters
    REQUIRE(table.Add(L"Name32_abcdefghijklmnopqrstuvwxy", L"thirty-two"));  // 32 characters
    REQUIRE(table.Add(L"module", L"second entry never wins"));
    REQUIRE(table.Add(L"Wide", L"\x03A9 \xD83D\xDE00 \xD800"));  // a pair and a lone half
    const struct {
        std::string script;
        HRESULT result;
        const char* dump;
    } cases[] = {
        {InScratch("val a = s '%MODULE%' val b = s '%module%' val c = s '%MoDuLe%'"), S_OK,
         "[]\n:a=sz:C:\\Some Dir\\it's.dll\n:b=sz:C:\\Some Dir\\it's.dll\n:c=sz:C:\\Some Dir\\it's.dll"},
        {InScratch("val 'p%%' = s '100%%'"), S_OK, "[]\n:p%=sz:100%"},
        {InScratch("val w = s '%Wide%'"), S_OK, "[]\n:w=sz:Ω 😀 \xEF\xBF\xBD"},
        {InScratch("val n = s '%Name31_abcdefghijklmnopqrstuvwx%'"), S_OK, "[]\n:n=sz:thirty-one"},
        {InScratch("val n = s '%Name32_abcdefghijklmnopqrstuvwxy%'"), E_FAIL, "<absent>"},
        {InScratch("val n = s '%Unknown%'"), kSyntax, "<absent>"},
        {InScratch("val n = s '%Module'"), kSyntax, "<absent>"},
        {"HKCU { %", kSyntax, "<absent>"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.script);
        ScratchKey scratch(kScratchName);
        CHECK(RunRegistrationScript(c.script, table, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == c.result);
        CHECK(DumpScratch() == c.dump);
    }
}

TEST_CASE("token and value name limits") {
    const std::string longest(4094, 'x');
    const std::string nameLimit(259, 'n');
    const struct {
        const char* what;
        std::string script;
        HRESULT result;
    } cases[] = {
        {"4094-byte token", InScratch("val t = s '" + longest + "'"), S_OK},
        {"4095-byte quoted token", InScratch("val t = s '" + longest + "x'"), kSyntax},
        {"4095-byte bare token", InScratch("val t = s " + longest + "x"), kSyntax},
        {"259-byte value name", InScratch("val " + nameLimit + " = s v"), S_OK},
        {"260-byte value name", InScratch("val " + nameLimit + "n = s v"), kSyntax},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        ScratchKey scratch(kScratchName);
        CHECK(Run(c.script, TRUE) == c.result);
        if (c.result == S_OK) {
            CHECK(DumpScratch().size() > 250);
        } else {
            CHECK(DumpScratch() == "<absent>");
        }
    }
    ScratchKey scratch(kScratchName);
    REQUIRE(Run(InScratch("val t = s '" + longest + "'"), TRUE) == S_OK);
    CHECK(DumpScratch() == "[]\n:t=sz:" + longest);
}

TEST_CASE("registering twice rebuilds ForceRemove keys and writes the others again") {
    ScratchKey scratch(kScratchName);
    const std::string script =
        InScratch("Plain = s 'p' { Sub = s 's' } ForceRemove Fresh = s 'f' { Inner { val v = d 1 } }");
    const char* expected =
        "[]\n[Fresh]\nFresh:@=sz:f\n[Fresh\\Inner]\nFresh\\Inner:v=dword:0x00000001\n[Plain]\nPlain:@=sz:p\n"
        "[Plain\\Sub]\nPlain\\Sub:@=sz:s";
    REQUIRE(Run(script, TRUE) == S_OK);
    CHECK(DumpScratch() == expected);
    REQUIRE(Run(script, TRUE) == S_OK);
    CHECK(DumpScratch() == expected);

    // Contents added by others: gone under a ForceRemove key, kept elsewhere.
    AddScratchKey(L"Fresh\\Stray");
    SetScratchString(L"Fresh", L"stray", L"x");
    SetScratchString(L"Plain", L"other", L"kept");
    SetScratchString(L"Plain", L"", L"overwritten");
    REQUIRE(Run(script, TRUE) == S_OK);
    CHECK(DumpScratch() ==
          "[]\n[Fresh]\nFresh:@=sz:f\n[Fresh\\Inner]\nFresh\\Inner:v=dword:0x00000001\n[Plain]\nPlain:@=sz:p\n"
          "Plain:other=sz:kept\n[Plain\\Sub]\nPlain\\Sub:@=sz:s");
}

TEST_CASE("ForceRemove and Delete remove trees but never CLSID or TypeLib") {
    ScratchKey scratch(kScratchName);
    AddScratchKey(L"Old\\Deep\\Deeper");
    AddScratchKey(L"Rebuilt\\Stale");
    AddScratchKey(L"clsid\\Other");
    AddScratchKey(L"TypeLib\\Other");
    REQUIRE(Run(InScratch("Delete Old = s 'ignored' Delete Missing ForceRemove Rebuilt { New } "
                          "ForceRemove CLSID { Mine } Delete typelib"),
                TRUE) == S_OK);
    CHECK(DumpScratch() == "[]\n[Rebuilt]\n[Rebuilt\\New]\n[TypeLib]\n[TypeLib\\Other]\n[clsid]\n[clsid\\Mine]\n"
                           "[clsid\\Other]");
}

namespace {
// A registry link at `relative` below the scratch root that points at the key
// `target` below it; removed as a link when the object goes, if still there.
class ScratchLink {
public:
    ScratchLink(const std::wstring& relative, const wchar_t* target)
        : m_path(std::wstring(kScratchPath) + L"\\" + relative) {
        HKEY to = CreateScratchKey(target), link = nullptr;
        const std::wstring destination = RegistryKeyName(to);  // "\REGISTRY\USER\<SID>\..."
        RegCloseKey(to);
        if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_WRITE | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
            return;
        m_created = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                   reinterpret_cast<const BYTE*>(destination.data()),
                                   static_cast<DWORD>(destination.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(link);
    }
    ~ScratchLink() {
        HKEY link = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | DELETE, &link) !=
            ERROR_SUCCESS)
            return;
        if (IsRegistryLink(link)) (void)DeleteKeyByHandle(link);
        RegCloseKey(link);
    }
    bool Created() const { return m_created; }

private:
    std::wstring m_path;
    bool m_created = false;
};
}  // namespace

// A registry link planted where the script removes or unregisters a key goes
// itself; the key it points to keeps all it holds.
TEST_CASE("removing and unregistering never follow a registry link") {
    const char* target = "[Target]\nTarget:v=sz:keep\n[Target\\Sub]";
    const struct {
        const char* what;
        const wchar_t* link;
        std::string script;
        BOOL doRegister;
        std::string dump;
    } cases[] = {
        {"ForceRemove of a link", L"Linked", InScratch("ForceRemove Linked = s 'new' { Inner }"), TRUE,
         std::string("[]\n[Linked]\nLinked:@=sz:new\n[Linked\\Inner]\n") + target},
        {"ForceRemove of a tree holding a link", L"Outer\\Link", InScratch("ForceRemove Outer = s 'o'"), TRUE,
         std::string("[]\n[Outer]\nOuter:@=sz:o\n") + target},
        {"Delete of a link", L"Linked", InScratch("Delete Linked"), TRUE, std::string("[]\n") + target},
        {"unregistering a key that is a link", L"Linked", InScratch("Linked = s 'x' { Sub }"), FALSE,
         std::string("[]\n") + target},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        ScratchKey scratch(kScratchName);
        SetScratchString(L"Target", L"v", L"keep");
        AddScratchKey(L"Target\\Sub");
        const std::wstring link = c.link;
        if (link.find(L'\\') != std::wstring::npos) AddScratchKey(link.substr(0, link.find(L'\\')).c_str());
        ScratchLink planted(link, L"Target");
        REQUIRE(planted.Created());
        REQUIRE(ReadRegString(HKEY_CURRENT_USER, std::wstring(kScratchPath) + L"\\" + link, L"v") == L"keep");
        CHECK(Run(c.script, c.doRegister) == S_OK);
        CHECK(DumpScratch() == c.dump);
    }
}

TEST_CASE("an empty key name never stands for its parent") {
    ScratchKey scratch(kScratchName);
    AddScratchKey(L"Keep");
    CHECK(Run(InScratch("ForceRemove ''"), TRUE) == kSyntax);
    CHECK(Run(InScratch("Delete ''"), TRUE) == kSyntax);
    CHECK(Run(InScratch("''"), FALSE) == kSyntax);
    CHECK(DumpScratch() == "[]\n[Keep]");
}

TEST_CASE("unregister pass removes what the script describes, from the leaves up") {
    const std::string classLike = InScratch(
        "Prog.1 = s 'Class' { CLSID = s '{X}' } "
        "NoRemove Classes { ForceRemove {X} = s 'Class' { ProgID = s 'Prog.1' Versionless = s 'Prog' "
        "ForceRemove 'Programmable' Server = s 'path' { val ThreadingModel = s 'Apartment' } } } "
        "After = s 'a'");

    SUBCASE("everything goes; the NoRemove key stays even when empty") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(classLike, TRUE) == S_OK);
        REQUIRE(DumpScratch().find("Classes\\{X}\\Server:ThreadingModel=sz:Apartment") != std::string::npos);
        REQUIRE(DumpScratch().find("[After]\nAfter:@=sz:a") != std::string::npos);
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Classes]");
    }
    SUBCASE("a missing sibling does not stop the others") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(classLike, TRUE) == S_OK);
        RemoveScratchKey(L"Classes\\{X}\\ProgID");
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Classes]");
    }
    SUBCASE("a key that still has other subkeys stays; the keys after a NoRemove key go") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(classLike, TRUE) == S_OK);
        AddScratchKey(L"Classes\\{Other}");
        AddScratchKey(L"Classes\\{X}\\Foreign");
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Classes]\n[Classes\\{Other}]\n[Classes\\{X}]\nClasses\\{X}:@=sz:Class\n"
                               "[Classes\\{X}\\Foreign]");
    }
    SUBCASE("a key with only its default value goes even when its block lists vanished entries") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(classLike, TRUE) == S_OK);
        RemoveScratchKey(L"Prog.1\\CLSID");
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Classes]");
    }
    SUBCASE("named values the script does not mention go with their key") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(classLike, TRUE) == S_OK);
        SetScratchString(L"Classes\\{X}\\Server", L"Extra", L"x");
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Classes]");
    }
    SUBCASE("values named by the script leave a key that stays") {
        ScratchKey scratch(kScratchName);
        const std::string script = InScratch("NoRemove Kept { val Mine = s 'x' }");
        REQUIRE(Run(script, TRUE) == S_OK);
        SetScratchString(L"Kept", L"Theirs", L"y");
        CHECK(Run(script, FALSE) == S_OK);
        CHECK(DumpScratch() == "[]\n[Kept]\nKept:Theirs=sz:y");
    }
    SUBCASE("unregistering what was never registered changes nothing") {
        ScratchKey scratch(kScratchName);
        CHECK(Run(classLike, FALSE) == S_OK);
        CHECK(DumpScratch() == "<absent>");
    }
    SUBCASE("a fault of the text ends the unregister pass before anything is removed") {
        ScratchKey scratch(kScratchName);
        REQUIRE(Run(InScratch("A { } B { }"), TRUE) == S_OK);
        CHECK(Run(InScratch("A { } 'C\\D' B { }"), FALSE) == kSyntax);
        CHECK(Run(InScratch("A { } B = x 'y'"), FALSE) == kSyntax);
        CHECK(Run(InScratch("A { } B { val b = b 123 }"), FALSE) == E_FAIL);
        CHECK(DumpScratch() == "[]\n[A]\n[B]");
    }
}

TEST_CASE("a failing second root block is taken out; the first stays registered") {
    ScratchKey scratch(kScratchName);
    // A volatile key cannot hold the non-volatile subkey the second block creates.
    AddScratchKey(L"");
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kScratchPath) + L"\\Second").c_str(), 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string script = InScratch("First = s '1'") + "\r\n" + InScratch("Second = s '2' { Sub }");
    CHECK(Run(script, TRUE) == kSyntax);
    CHECK(DumpScratch() == "[]\n[First]\nFirst:@=sz:1");

    // A fault of the text in the second block: the first is not written either.
    RemoveScratchKey(L"First");
    CHECK(Run(InScratch("First = s '1'") + "\r\n" + InScratch("Second { Bad\\Name }"), TRUE) == kSyntax);
    CHECK(DumpScratch() == "[]");
}

namespace {
// Counts the value writes of a run and refuses the one numbered g_refusedWrite.
int g_valueWrites = 0;
int g_refusedWrite = 0;
void* g_setValue = nullptr;  // the import's original target

LSTATUS WINAPI RefusingSetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    if (++g_valueWrites == g_refusedWrite) return ERROR_ACCESS_DENIED;
    return reinterpret_cast<decltype(&RegSetValueExW)>(g_setValue)(key, name, reserved, type, data, size);
}
}  // namespace

TEST_CASE("a refused value write fails its root block, which is taken out; earlier blocks stay") {
    const std::string script = InScratch("First = s '1'") + "\r\n" +
                               InScratch("Second = s '2' { Inner { val a = s 'x' val b = d 2 val c = b 0f } }");
    const struct {
        const char* what;
        int refused;  // 0: none
        HRESULT result;
        const char* dump;
    } cases[] = {
        {"no write refused", 0, S_OK,
         "[]\n[First]\nFirst:@=sz:1\n[Second]\nSecond:@=sz:2\n[Second\\Inner]\nSecond\\Inner:a=sz:x\n"
         "Second\\Inner:b=dword:0x00000002\nSecond\\Inner:c=bin:0f"},
        {"a default value in the first block", 1, E_ACCESSDENIED, "<absent>"},
        {"a default value in the second block", 2, E_ACCESSDENIED, "[]\n[First]\nFirst:@=sz:1"},
        {"a named string deep in the second block", 3, E_ACCESSDENIED, "[]\n[First]\nFirst:@=sz:1"},
        {"a number", 4, E_ACCESSDENIED, "[]\n[First]\nFirst:@=sz:1"},
        {"the last value, binary", 5, E_ACCESSDENIED, "[]\n[First]\nFirst:@=sz:1"},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        ScratchKey scratch(kScratchName);
        g_valueWrites = 0;
        g_refusedWrite = c.refused;
        {
            ImportPatch patch(GetModuleHandleW(nullptr), "advapi32.dll", "RegSetValueExW",
                              reinterpret_cast<void*>(&RefusingSetValue));
            REQUIRE(patch.Patched());
            g_setValue = patch.Original();
            CHECK(Run(script, TRUE) == c.result);
        }
        CHECK(g_valueWrites == (c.refused ? c.refused : 5));
        CHECK(DumpScratch() == c.dump);
    }
}

TEST_CASE("deeply nested text neither exhausts the stack nor leaves keys behind") {
    ScratchKey scratch(kScratchName);
    std::string nested;
    for (int i = 0; i < 20000; ++i) nested += "A { ";
    for (int i = 0; i < 20000; ++i) nested += "} ";
    // Nothing below the scratch root exists: the unregister pass reads over
    // the whole text without opening anything.
    CHECK(Run(InScratch(nested), FALSE) == S_OK);
    // The register pass refuses to nest keys deeper than the registry does,
    // and takes out what it made.
    CHECK(Run(InScratch(nested), TRUE) == kSyntax);
    CHECK(DumpScratch() == "<absent>");
    // A walk still checks the text.
    CHECK(Run(InScratch(nested + "A { 'B\\C' }"), FALSE) == kSyntax);
}

TEST_CASE("a failed load with no error recorded is still a failure") {
    CHECK(ResourceLoadFailure(ERROR_SUCCESS) == E_FAIL);
    CHECK(ResourceLoadFailure(ERROR_RESOURCE_NAME_NOT_FOUND) == HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    CHECK(ResourceLoadFailure(0x12345) == static_cast<HRESULT>(0x80072345));
}
