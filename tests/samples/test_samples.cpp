// The samples in samples/, run as their users run them: the C++ program, and
// the VBScript and JScript files under the script host of the library's
// bitness. Each must log on, connect a server object and a document control,
// show one About box and reach its closing line. Wine's cscript exits with 0
// even after a runtime error, so the closing line is what proves that a script
// ran to its end.
#include <doctest/doctest.h>
#include <string>
#include <vector>
#include "quarnver_module.h"
#include "registration_guard.h"
#include "child_process.h"
#include "standin_control.h"
#include "system_tools.h"

namespace {

struct Sample {
    std::string commandLine;
    std::string client;  // the client name the sample logs on with
};

const std::string kScriptHost = QUARN_SYSTEM_TOOLS_DIR "cscript.exe //nologo ";

size_t ConnectsOf(const std::vector<StandInConnectRecord>& records, const std::string& client) {
    size_t count = 0;
    for (const StandInConnectRecord& record : records)
        if (!record.arguments.empty() && WideToUtf8(record.arguments[0].text) == client) ++count;
    return count;
}

void RunSample(const Sample& sample) {
    RegistrationGuard registration;
    // Nothing is remembered (Level 8), so the defaults show: the Windows user
    // name and this computer's name.
    KeyBackup settings(HKEY_CURRENT_USER, L"Software\\Velmora\\QUARN 5\\Logon");
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    REQUIRE(ResetStandIns() == S_OK);

    AboutBoxCloser closer;
    std::string output;
    const DWORD code = RunProcess(sample.commandLine, &output);
    const int closed = closer.Stop();
    INFO(sample.commandLine);
    INFO(output);
    CHECK(code == 0);
    CHECK(output.find("sample done") != std::string::npos);
    CHECK(output.find("User: " + UserNameA()) != std::string::npos);
    CHECK(output.find("Server: " + ComputerNameA()) != std::string::npos);
    CHECK(closed == 1);

    // One server object from GetQuarnSvrDirections and one for the document
    // control, both introduced with the sample's client name; the control is
    // tied to a stand-in server object.
    CHECK(ConnectsOf(ReadStandInConnects(StandInKind::Server), sample.client) == 2);
    const std::vector<StandInConnectRecord> documents = ReadStandInConnects(StandInKind::CtlDocument);
    REQUIRE(documents.size() == 1);
    CHECK(ConnectsOf(documents, sample.client) == 1);
    REQUIRE(documents[0].arguments.size() == 3);
    CHECK(documents[0].arguments[2].standInServer);

    QuarnverModule dll;
    CHECK(dll.UnregisterServer() == S_OK);
}

}  // namespace

TEST_CASE("C++ sample logs on and shows the About box") {
    RunSample({"\"" QUARN_CPP_SAMPLE "\"", "C++ sample"});
}

TEST_CASE("VBScript sample logs on and shows the About box") {
    RunSample({kScriptHost + "\"" QUARN_SAMPLES_DIR "/vbscript/logon_and_about.vbs\"", "VBScript sample"});
}

TEST_CASE("JScript sample logs on and shows the About box") {
    RunSample({kScriptHost + "\"" QUARN_SAMPLES_DIR "/jscript/logon_and_about.js\"", "JScript sample"});
}

namespace {

// The element of the manifest text that starts with `start`, up to its end tag
// or the end of an empty element; empty when there is none.
std::string ManifestElement(const std::string& text, const std::string& start, const std::string& end) {
    const size_t begin = text.find(start);
    if (begin == std::string::npos) return {};
    const size_t finish = text.find(end, begin);
    return finish == std::string::npos ? std::string() : text.substr(begin, finish + end.size() - begin);
}

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return WideToUtf8(text);
}

}  // namespace

// Wine answers CLSIDFromProgID in an activation context with a wrong CLSID,
// so the ProgIDs are checked in the manifest's text rather than through
// activation.
TEST_CASE("The assembly manifest describes both classes and the type library") {
    const std::vector<uint8_t> bytes = ReadFileBytes(QUARN_KIT_DIR "/quarnver.manifest");
    const std::string text(bytes.begin(), bytes.end());
    REQUIRE_FALSE(text.empty());
    const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
    CHECK(text.find("type=\"win32\" name=\"quarnver\"") != std::string::npos);
    CHECK(text.find("processorArchitecture=\"" + architecture + "\"") != std::string::npos);
    CHECK(text.find("<file name=\"quarnver.dll\">") != std::string::npos);

    const std::string libid = GuidText(LIBID_QUARNVER);
    const std::string typelib = ManifestElement(text, "<typelib tlbid=\"" + libid + "\"", "/>");
    CHECK(typelib.find("version=\"1.0\"") != std::string::npos);
    CHECK(typelib.find("helpdir=") != std::string::npos);

    const struct {
        const CLSID* clsid;
        const char* progid;
        const char* independentProgid;
    } classes[] = {
        {&CLSID_Quarn5Logon, "Quarn5.Logon.1", "Quarn5.Logon"},
        {&CLSID_Quarn5About, "Quarn5.About.1", "Quarn5.About"},
    };
    for (const auto& entry : classes) {
        const std::string element =
            ManifestElement(text, "<comClass clsid=\"" + GuidText(*entry.clsid) + "\"", "</comClass>");
        INFO(entry.progid);
        REQUIRE_FALSE(element.empty());
        CHECK(element.find(std::string("progid=\"") + entry.progid + "\"") != std::string::npos);
        CHECK(element.find(std::string("<progid>") + entry.independentProgid + "</progid>") != std::string::npos);
        CHECK(element.find("threadingModel=\"Apartment\"") != std::string::npos);
        CHECK(element.find("tlbid=\"" + libid + "\"") != std::string::npos);
    }
}

namespace {
// Wine 8's type library marshaler loads the type library of a
// registration-free interface by the bare file name the assembly manifest
// gives, and LoadTypeLib registers a library loaded by such a name, in both
// registry views; Windows registers nothing. While the object lives, what
// such a run adds to the type library's entries in the other registry view is
// removed again (RegistrationGuard looks after this program's own view).
class WineMarshalerRegistration {
public:
    static constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    WineMarshalerRegistration() {
        for (const wchar_t* path : RegistrationGuard::kPaths)
            if (IsTypeLibraryEntry(path) && !ExistsInOtherView(path)) m_added.push_back(path);
    }
    ~WineMarshalerRegistration() {
        for (const std::wstring& path : m_added) {
            const size_t separator = path.find(L'\\');
            HKEY parent = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.substr(0, separator).c_str(), 0, KEY_ALL_ACCESS | kOtherView,
                              &parent) != ERROR_SUCCESS)
                continue;
            RegDeleteTreeW(parent, path.substr(separator + 1).c_str());
            RegDeleteKeyW(parent, path.substr(separator + 1).c_str());
            RegCloseKey(parent);
        }
    }
    static bool IsTypeLibraryEntry(const std::wstring& path) {
        return path.compare(0, 8, L"TypeLib\\") == 0 || path.compare(0, 10, L"Interface\\") == 0;
    }

private:
    static bool ExistsInOtherView(const wchar_t* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ | kOtherView, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    std::vector<std::wstring> m_added;
};
}  // namespace

TEST_CASE("Side-by-side sample uses both classes early and late bound with nothing registered, from either apartment") {
    // The sample with its application manifest, and the library with its
    // assembly manifest: from the build tree and from the unpacked package.
    const struct {
        const char* origin;
        const char* program;
        const char* applicationManifest;
        std::string libraryFolder;
        bool multithreaded;  // from a multithreaded apartment, through the type library marshaler
    } setups[] = {
        {"client kit", QUARN_SIDE_BY_SIDE_SAMPLE, QUARN_SAMPLE_APP_MANIFEST, QUARN_KIT_DIR "/", false},
        {"client kit, multithreaded apartment", QUARN_SIDE_BY_SIDE_SAMPLE, QUARN_SAMPLE_APP_MANIFEST,
         QUARN_KIT_DIR "/", true},
        {"release package", QUARN_PACKAGE_SIDE_BY_SIDE, QUARN_UNPACKED_DIR "/samples/cpp/side_by_side.exe.manifest",
         QUARN_UNPACKED_DIR "/", false},
    };
    for (const auto& setup : setups) {
        INFO(std::string(setup.origin));
        WineMarshalerRegistration wineRegistration;
        RegistrationGuard registration;  // the library's keys are moved aside for the run
        for (const wchar_t* path : RegistrationGuard::kPaths) REQUIRE_FALSE(KeyExists(HKEY_CLASSES_ROOT, path));

        // The folder an application ships.
        ScratchFolder folder("side_by_side");
        const std::pair<std::string, const char*> files[] = {
            {setup.program, "side_by_side.exe"},
            {setup.applicationManifest, "side_by_side.exe.manifest"},
            {setup.libraryFolder + "quarnver.dll", "quarnver.dll"},
            {setup.libraryFolder + "quarnver.manifest", "quarnver.manifest"},
        };
        for (const auto& file : files) {
            INFO(file.first);
            REQUIRE(CopyFileA(file.first.c_str(), folder.File(file.second).c_str(), FALSE));
        }

        AboutBoxCloser closer;
        std::string output;
        const std::string command =
            "\"" + folder.File("side_by_side.exe") + "\"" + (setup.multithreaded ? " /mta" : "");
        const DWORD code = RunProcess(command, &output);
        const int closed = closer.Stop();
        INFO(output);
        CHECK(code == 0);
        CHECK(output.find("Level through the vtable: 8") != std::string::npos);
        CHECK(output.find("Level late bound: 12") != std::string::npos);
        CHECK(output.find("side by side done") != std::string::npos);
        CHECK(closed == 2);
        // Nothing was registered on the way, not even the type library (but
        // for what Wine's marshaler registers, above).
        for (const wchar_t* path : RegistrationGuard::kPaths) {
            CAPTURE(WideToUtf8(path));
            if (setup.multithreaded && WineMarshalerRegistration::IsTypeLibraryEntry(path)) continue;
            CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, path));
        }
    }
}
