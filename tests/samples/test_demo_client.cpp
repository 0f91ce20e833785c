// The demo client run by scripts/demo, driving its own dialogs: it logs on
// through the logon dialog, reports what the stand-ins received, writes the
// sample notice files, takes pictures of both dialogs, and leaves the
// remembered logon settings and the setup folder value as they were.
#include <doctest/doctest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <string>
#include <vector>
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "common/unique_handle.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "child_process.h"
#include "standin_control.h"
#include "test_support.h"

namespace {

const wchar_t kLogonKey[] = L"Software\\Velmora\\QUARN 5\\Logon";
const wchar_t kFoldersKey[] = L"Software\\Velmora\\QUARN 5\\Folders";

// What the registry holds before and after a run.
struct RegistryState {
    bool logonKey = false;
    std::wstring user, password, server, setup;
    std::vector<uint8_t> level;
    bool foldersKey = false;

    static RegistryState Read() {
        RegistryState state;
        state.logonKey = KeyExists(HKEY_CURRENT_USER, kLogonKey);
        state.user = ReadRegString(HKEY_CURRENT_USER, kLogonKey, L"User");
        state.password = ReadRegString(HKEY_CURRENT_USER, kLogonKey, L"Password");
        state.server = ReadRegString(HKEY_CURRENT_USER, kLogonKey, L"Server");
        DWORD type = 0;
        ReadRegValue(HKEY_CURRENT_USER, kLogonKey, L"Level", &type, &state.level);
        state.foldersKey = KeyExists(HKEY_LOCAL_MACHINE, kFoldersKey);
        state.setup = ReadRegString(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup");
        return state;
    }
    bool operator==(const RegistryState& o) const {
        return logonKey == o.logonKey && user == o.user && password == o.password && server == o.server &&
               level == o.level && foldersKey == o.foldersKey && setup == o.setup;
    }
};

bool IsBmpWithPicture(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const int32_t width = bytes[18] | bytes[19] << 8 | bytes[20] << 16 | bytes[21] << 24;
    const int32_t height = bytes[22] | bytes[23] << 8 | bytes[24] << 16 | bytes[25] << 24;
    return width > 100 && height > 50 && bytes.size() >= 54 + static_cast<size_t>(width) * height * 3;
}

// A stand-in server that an earlier test left serving ends at its idle time;
// should that fall while the demo activates the class, COM still hands out
// the going server's class object (RPC_S_SERVER_UNAVAILABLE). Such servers
// are told to end now, and the demo starts its own with the usual idle time.
bool EndIdleStandInServers() {
    if (FAILED(SetStandInServerIdleTime(0))) return false;
    bool gone = false;
    for (int round = 0; round < 200 && !gone; ++round, Sleep(50)) {
        UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry = {sizeof entry};
        gone = true;
        for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
            gone = gone && _wcsicmp(entry.szExeFile, L"quarn_standin_server.exe") != 0;
    }
    return SUCCEEDED(ResetStandIns()) && gone;
}

void RunDemo(bool settingsBefore) {
    REQUIRE(EndIdleStandInServers());
    RegistrationGuard registration;
    KeyBackup logonBackup(HKEY_CURRENT_USER, kLogonKey);
    KeyBackup foldersBackup(HKEY_LOCAL_MACHINE, kFoldersKey);
    {
        QuarnverModule dll;
        REQUIRE(dll.RegisterServer() == S_OK);
    }
    if (settingsBefore) {
        SetRegString(HKEY_CURRENT_USER, kLogonKey, L"User", L"earlier user");
        SetRegString(HKEY_CURRENT_USER, kLogonKey, L"Server", L"EARLIER");
        const DWORD level = 0x30;
        SetRegValue(HKEY_CURRENT_USER, kLogonKey, L"Level", REG_DWORD, &level, sizeof level);
        SetRegString(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup", L"C:\\earlier\\setup\\");
    }
    const RegistryState before = RegistryState::Read();

    ScratchFolder setup("demo_setup");
    ScratchFolder shots("demo_shots");
    // Folder arguments without their final backslash, which would escape the
    // closing quote on a Windows command line.
    const auto folderArgument = [](const std::string& path) { return path.substr(0, path.size() - 1); };
    std::string output;
    const DWORD code = RunProcess("\"" QUARN_DEMO_CLIENT "\" --drive --client-utf8 d094d0b5d0bcd0be --setup-folder \"" +
                                      folderArgument(setup.Path()) + "\" --shots \"" + folderArgument(shots.Path()) +
                                      "\"",
                                  &output);
    INFO(output);
    CHECK(code == 0);
    CHECK(output.find("demo: finished") != std::string::npos);
    // The name typed into the logon dialog and the client name given as UTF-8
    // hex reached the server and the control.
    CHECK(output.find("User:     Оператор") != std::string::npos);
    CHECK(output.find("QuarnSvrDirections #") != std::string::npos);
    CHECK(output.find("Connect(\"Демо\", \"Оператор\"") != std::string::npos);
    CHECK(output.find("QuarnCtlDirections #") != std::string::npos);
    CHECK(output.find("stand-in server #") != std::string::npos);

    CHECK(RegistryState::Read() == before);

    // Three notice files that the About box's reader takes as they were written.
    int files = 0;
    for (const char* name : {"dictionary.acr", "speech.acr", "morphology.acr"}) {
        ProfileFile file;
        CHECK_MESSAGE(file.Load(WideFromAnsi(setup.File(name)), FALSE), name);
        CHECK(!file.GetString("Info", "Module").empty());
        CHECK(file.GetKeyCount("Copyrights") >= 2);
        CHECK(!file.GetString("Copyrights", "1").empty());
        ++files;
    }
    CHECK(files == 3);
    CHECK(IsBmpWithPicture(shots.File("logon-dialog.bmp")));
    CHECK(IsBmpWithPicture(shots.File("about-box.bmp")));

    QuarnverModule dll;
    CHECK(dll.UnregisterServer() == S_OK);
}

}  // namespace

TEST_CASE("Demo client leaves remembered settings and the setup folder as they were") { RunDemo(true); }

TEST_CASE("Demo client leaves no settings behind where there were none") { RunDemo(false); }
