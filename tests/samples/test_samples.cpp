// The samples in samples/, run as their users run them: the C++ program, and
// the VBScript and JScript files under the script host of the library's
// bitness. Each must log on, connect a server object and a document control,
// show one About box and reach its closing line. Wine's cscript exits with 0
// even after a runtime error, so the closing line is what proves that a script
// ran to its end.
#include <doctest/doctest.h>
#include <string>
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
