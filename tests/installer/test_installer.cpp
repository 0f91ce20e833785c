// The Windows Installer packages under Wine's msiexec, in the suite's prefix:
// both bitnesses beside each other in either order, upgrade and downgrade, the
// package code, and two products that include the fragment. Each case starts
// and ends with nothing of ours.
#include <doctest/doctest.h>
#include <windows.h>
#include <msi.h>
#include <msidefs.h>
#include <msiquery.h>
#include <algorithm>
#include <sstream>
#include <vector>
#include "child_process.h"
#include "registration_guard.h"
#include "test_support.h"

namespace {
struct Package {
    const char* msi;
    const char* client;
    const char* dll;       // the build's DLL, for what regsvr32 writes
    const char* tools;  // the folder of regsvr32 and msiexec of the package's bitness
    REGSAM view;
    const wchar_t* commonFiles;
};
const Package k32 = {QUARN_MSI32, QUARN_CLIENT32, QUARN_DLL32, "C:\\windows\\syswow64\\",
                     KEY_WOW64_32KEY, L"%CommonProgramFiles(x86)%"};
const Package k64 = {QUARN_MSI64, QUARN_CLIENT64, QUARN_DLL64, "C:\\windows\\system32\\",
                     KEY_WOW64_64KEY, L"%CommonProgramFiles%"};

std::string Windows(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::wstring Expand(const wchar_t* text) {
    wchar_t out[MAX_PATH] = {};
    ExpandEnvironmentStringsW(text, out, MAX_PATH);
    return out;
}
std::wstring Folder(const Package& p) { return Expand(p.commonFiles) + L"\\Velmora\\QUARN 5\\"; }

// Runs msiexec with /qn and a verbose log; its exit code (cut to 8 bits by Wine) and the log.
// Wine's msiexec installs in its own process: the 32-bit package takes the 32-bit one, or
// the ProgIDs, one key for both views, would land in the 32-bit view only.
DWORD Msiexec(const char* action, const char* msi, std::string* log = nullptr, const Package& p = k64) {
    ScratchFolder folder("quarn_msi");
    std::string output;
    const DWORD code = RunProcess(std::string(p.tools) + "msiexec.exe " + action + " \"" +
                                      Windows(msi) + "\" /qn /l*v \"" + folder.File("log") + "\"",
                                  &output);
    const std::vector<uint8_t> bytes = ReadFileBytes(folder.File("log"));
    if (log) log->assign(bytes.begin(), bytes.end());
    return code;
}

// The first column of every row a query of the package gives, one per line.
std::string Query(const char* msi, const wchar_t* sql) {
    MSIHANDLE db = 0, view = 0, record = 0;
    std::string rows;
    if (MsiOpenDatabaseW(Wide(Windows(msi)).c_str(), nullptr /* read-only */, &db) != ERROR_SUCCESS) return "<no db>";
    if (MsiDatabaseOpenViewW(db, sql, &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            wchar_t text[256] = {};
            DWORD length = 256;
            MsiRecordGetStringW(record, 1, text, &length);
            rows += WideToUtf8(text) + "\n";
            MsiCloseHandle(record);
        }
    }
    MsiCloseHandle(view);
    MsiCloseHandle(db);
    return rows;
}
INSTALLSTATE State(const char* msi) {
    const std::string code = Query(msi, L"SELECT `Value` FROM `Property` WHERE `Property` = 'ProductCode'");
    return MsiQueryProductStateW(Wide(code.substr(0, code.find('\n'))).c_str());
}

std::wstring Tree(REGSAM view) {
    std::wstring text;
    for (const wchar_t* path : RegistrationGuard::kPaths)
        AppendTree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + path, view, &text, path);
    return text;
}

// Our keys in one registry view, sorted, with the DLL's path and folder as placeholders.
// HELPDIR aside: regsvr32 names the DLL's folder, the packages write none (no help
// file ships, and the key is one for both bitnesses).
std::string Ours(REGSAM view, const std::wstring& dll = L"<none>") {
    std::wstring text = Tree(view);
    const std::wstring folder = dll.substr(0, dll.rfind(L'\\') + 1);
    for (const auto& [from, to] : {std::pair<std::wstring, std::wstring>{dll, L"<dll>"}, {folder, L"<folder>"}})
        for (size_t at = text.find(from); !from.empty() && at != std::wstring::npos; at = text.find(from, at))
            text.replace(at, from.size(), to);
    text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
    std::vector<std::string> lines;
    std::istringstream in(WideToUtf8(text));
    for (std::string line; std::getline(in, line);)
        if (line.find("\\HELPDIR") == std::string::npos) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

// The type library's keys that machine-wide unregistration keeps, in both views.
void RemoveTypeLibrary() {
    for (const wchar_t* path : RegistrationGuard::kPaths)
        if (wcsncmp(path, L"TypeLib", 7) == 0 || wcsncmp(path, L"Interface", 9) == 0) {
            DeleteTree(HKEY_CLASSES_ROOT, path);
            DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\Wow6432Node\\") + path);
        }
}

// Runs the package's client: both classes created by CLSID and ProgID, from the installed DLL.
bool ClientWorks(const Package& p) {
    std::string output;
    const DWORD code = RunProcess(Windows(p.client), &output);
    INFO(output);
    return code == 0 && output.find(WideToUtf8(Folder(p) + L"quarnver.dll")) != std::string::npos;
}

void CheckNothingLeft() {
    CHECK(Ours(KEY_WOW64_32KEY) == "");
    CHECK(Ours(KEY_WOW64_64KEY) == "");
    for (const Package* p : {&k32, &k64})
        CHECK(GetFileAttributesW((Expand(p->commonFiles) + L"\\Velmora").c_str()) == INVALID_FILE_ATTRIBUTES);
}
}  // namespace

TEST_CASE("the packages register through Registry rows only and carry the DLL's file version") {
    for (const Package* p : {&k32, &k64}) {
        CAPTURE(p->msi);
        wchar_t version[64] = {}, language[64] = {};
        DWORD length = 64, languageLength = 64;
        REQUIRE(MsiGetFileVersionW(Wide(Windows(p->dll)).c_str(), version, &length, language, &languageLength) ==
                ERROR_SUCCESS);
        CHECK(Query(p->msi, L"SELECT `Version` FROM `File`") == WideToUtf8(version) + "\n");
        CHECK(Query(p->msi, L"SELECT `Language` FROM `File`") == WideToUtf8(language) + "\n");  // ICE60
        CHECK(languageLength > 0);
        CHECK(Query(p->msi, L"SELECT `Registry` FROM `SelfReg`") == "");
        CHECK(Query(p->msi, L"SELECT `Target` FROM `CustomAction`").find("DllRegisterServer") == std::string::npos);
        CHECK(Query(p->msi, L"SELECT `Registry` FROM `Registry`").size() > 40);
    }
}

TEST_CASE("both bitnesses install beside each other in either order as regsvr32 registers them, and go without a trace") {
    RegistrationGuard guard;
    RemoveTypeLibrary();
    std::string output, expected[2];
    for (const Package* p : {&k32, &k64}) {
        const std::string dll = "\"" + Windows(p->dll) + "\"";
        REQUIRE(RunProcess(std::string(p->tools) + "regsvr32.exe /s " + dll, &output) == 0);
        expected[p == &k64] = Ours(p->view, Wide(Windows(p->dll)));
        // The packages are compared with this: the type library's FLAGS (none; "has a disk image" tells how it
        // was loaded), and the type library marshaler for each of its interfaces, all dual.
        CHECK(expected[p == &k64].find("\\1.0\\FLAGS:=1:0\n") != std::string::npos);
        for (const wchar_t* path : RegistrationGuard::kPaths)
            CHECK((wcsncmp(path, L"Interface", 9) != 0 ||
                   expected[p == &k64].find(WideToUtf8(path) + "\\ProxyStubClsid32:=1:{00020424-0000-0000-C000-"
                                                               "000000000046}\n") != std::string::npos));
        CHECK(RunProcess(std::string(p->tools) + "regsvr32.exe /u /s " + dll, &output) == 0);
        RemoveTypeLibrary();
    }
    CheckNothingLeft();

    // Installed first, second; removed first: the other one stays whole.
    static const struct {
        const Package *first, *second, *removed;
    } orders[] = {{&k32, &k64, &k32}, {&k64, &k32, &k32}, {&k32, &k64, &k64}, {&k64, &k32, &k64}};
    for (const auto& order : orders) {
        const Package& first = *order.first;
        const Package& kept = order.removed == &k32 ? k64 : k32;
        INFO("installed first: ", first.msi, "; removed first: ", order.removed->msi);
        REQUIRE(Msiexec("/i", first.msi, nullptr, first) == 0);
        CHECK(Ours(first.view, Folder(first) + L"quarnver.dll") == expected[&first == &k64]);
        REQUIRE(Msiexec("/i", order.second->msi, nullptr, *order.second) == 0);
        for (const Package* p : {&k32, &k64}) {
            CHECK(State(p->msi) == INSTALLSTATE_DEFAULT);
            CHECK(ClientWorks(*p));
        }

        CHECK(Msiexec("/x", order.removed->msi, nullptr, *order.removed) == 0);
        CHECK(State(order.removed->msi) == INSTALLSTATE_UNKNOWN);
        CHECK_FALSE(ClientWorks(*order.removed));
        CHECK(ClientWorks(kept));
        CHECK(Ours(kept.view, Folder(kept) + L"quarnver.dll") == expected[&kept == &k64]);
        // No value names the removed package's folder, in either view.
        std::wstring gone = Folder(*order.removed);
        CharLowerW(gone.data());
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            std::wstring text = Tree(view);
            CharLowerW(text.data());
            CHECK(text.find(gone) == std::wstring::npos);
        }

        CHECK(Msiexec("/x", kept.msi, nullptr, kept) == 0);
        CheckNothingLeft();
    }
}

TEST_CASE("a later version replaces an earlier one, and an earlier one is refused over a later one") {
    RegistrationGuard guard;
    REQUIRE(Msiexec("/i", QUARN_MSI64_EARLIER) == 0);
    CHECK(State(QUARN_MSI64_EARLIER) == INSTALLSTATE_DEFAULT);
    CHECK(Msiexec("/i", k64.msi) == 0);
    CHECK(State(QUARN_MSI64_EARLIER) == INSTALLSTATE_UNKNOWN);
    CHECK(State(k64.msi) == INSTALLSTATE_DEFAULT);

    // Refused: the launch condition fails once the later product is found (Wine logs no message text).
    std::string log;
    CHECK(Msiexec("/i", QUARN_MSI64_EARLIER, &log) != 0);
    const std::string later = Query(k64.msi, L"SELECT `Value` FROM `Property` WHERE `Property` = 'ProductCode'");
    CHECK(log.find(later.substr(0, later.find('\n'))) != std::string::npos);
    CHECK(State(QUARN_MSI64_EARLIER) == INSTALLSTATE_UNKNOWN);
    CHECK(ClientWorks(k64));

    CHECK(Msiexec("/x", k64.msi) == 0);
    CheckNothingLeft();
}

// The package code is the summary's revision number.
std::string PackageCode(const char* msi) {
    MSIHANDLE summary = 0;
    wchar_t code[64] = {};
    DWORD length = 64;
    UINT type = 0;
    if (MsiGetSummaryInformationW(0, Wide(Windows(msi)).c_str(), 0, &summary) == ERROR_SUCCESS)
        MsiSummaryInfoGetPropertyW(summary, PID_REVNUMBER, &type, nullptr, nullptr, code, &length);
    MsiCloseHandle(summary);
    return WideToUtf8(code);
}

TEST_CASE("the package code follows the content: a rebuild keeps it, other DLL bytes change it") {
    const std::string code = PackageCode(k64.msi);
    CHECK(code.size() == 38);
    CHECK(PackageCode(QUARN_MSI64_REBUILT) == code);  // rebuilt, and left unsigned
    CHECK(PackageCode(QUARN_MSI64_OTHER_DLL).size() == 38);
    CHECK(PackageCode(QUARN_MSI64_OTHER_DLL) != code);
}

TEST_CASE("two products that include the fragment share one copy of the library") {
    RegistrationGuard guard;
    REQUIRE(Msiexec("/i", QUARN_PRODUCT_A) == 0);
    REQUIRE(Msiexec("/i", QUARN_PRODUCT_B) == 0);
    CHECK(Msiexec("/x", QUARN_PRODUCT_A) == 0);
    CHECK(ClientWorks(k64));
    CHECK(Msiexec("/x", QUARN_PRODUCT_B) == 0);
    CheckNothingLeft();
}
