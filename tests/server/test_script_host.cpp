// The script host of the library's bitness as a late-bound client: VBScript and
// JScript create both classes by ProgID and use every member. This program registers the
// library, runs each script under cscript, closes the About boxes the scripts
// open, and passes on the scripts' verdict.
#include <doctest/doctest.h>
#include <string>
#include "child_process.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "system_tools.h"

namespace {
void RunRegistered(const char* script) {
    RegistrationGuard guard;
    KeyBackup settings(HKEY_CURRENT_USER, L"Software\\Velmora\\QUARN 5\\Logon");
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    AboutBoxCloser closer;
    std::string output;
    const DWORD code = RunProcess(QUARN_SYSTEM_TOOLS_DIR "cscript.exe //nologo \"" + std::string(script) + "\"", &output);
    const int closed = closer.Stop();
    INFO(output);
    CHECK(code == 0);
    CHECK(output.find("checks done, failures: 0") != std::string::npos);
    CHECK(closed == 2);
    QuarnverModule dll;
    CHECK(dll.UnregisterServer() == S_OK);
}
}  // namespace

TEST_CASE("VBScript uses both classes late-bound") { RunRegistered(QUARN_SCRIPT_CLIENTS_DIR "/late_binding.vbs"); }

TEST_CASE("JScript uses both classes late-bound") { RunRegistered(QUARN_SCRIPT_CLIENTS_DIR "/late_binding.js"); }
