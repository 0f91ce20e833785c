// The script host of the library's bitness as a late-bound client: VBScript and
// JScript create both classes by ProgID and use every member. This program registers the
// library, runs each script under cscript, closes the About boxes the scripts
// open, and passes on the scripts' verdict.
#include <doctest/doctest.h>
#include <atomic>
#include <string>
#include <thread>
#include "quarnver_module.h"
#include "registration_guard.h"
#include "system_tools.h"

namespace {
// Closes every About box (of any process) until told to stop; counts them.
class AboutCloser {
public:
    AboutCloser() : m_thread([this] { Run(); }) {}
    ~AboutCloser() { Stop(); }
    int Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return m_closed;
    }

private:
    void Run() {
        const std::wstring caption = Utf8ToWide("О программе");
        while (!m_stop) {
            HWND box = FindWindowW(L"#32770", caption.c_str());
            if (box && IsWindowVisible(box)) {
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                WaitForWindowGone(box, 5000);
                ++m_closed;
            }
            Sleep(50);
        }
    }
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closed{0};
    std::thread m_thread;
};

DWORD RunScript(const std::string& script, std::string* output) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string cmd = QUARN_SYSTEM_TOOLS_DIR "cscript.exe //nologo \"" + script + "\"";
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return 0xFFFFFFFF;
    }
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) output->append(buffer, read);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

void RunRegistered(const char* script) {
    RegistrationGuard guard;
    KeyBackup settings(HKEY_CURRENT_USER, L"Software\\Velmora\\QUARN 5\\Logon");
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    AboutCloser closer;
    std::string output;
    const DWORD code = RunScript(script, &output);
    const int closed = closer.Stop();
    INFO(output);
    CHECK(code == 0);
    CHECK(output.find("checks done, failures: 0") != std::string::npos);
    CHECK(closed == 2);
    QuarnverModule dll;
    CHECK(dll.UnregisterServer() == S_OK);
}
}  // namespace

TEST_CASE("VBScript uses both classes late-bound") { RunRegistered(QUARN_SCRIPTS_DIR "/late_binding.vbs"); }

TEST_CASE("JScript uses both classes late-bound") { RunRegistered(QUARN_SCRIPTS_DIR "/late_binding.js"); }
