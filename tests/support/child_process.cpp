#include "child_process.h"
#include "common/unique_handle.h"
#include "test_support.h"

DWORD RunProcess(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0)) return 0xFFFFFFFF;
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string command = commandLine;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.Close();  // the pipe ends when the child's copies close

    // Reading on a thread of its own, so a child that never ends is still ended.
    std::thread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) output->append(buffer, read);
    });
    if (WaitForSingleObject(processHandle.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 0xFFFFFFFE);
        WaitForSingleObject(processHandle.Get(), 5000);
    }
    reader.join();
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(processHandle.Get(), &code);
    return code;
}

AboutBoxCloser::AboutBoxCloser() : m_thread([this] { Run(); }) {}

AboutBoxCloser::~AboutBoxCloser() { Stop(); }

int AboutBoxCloser::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_closed;
}

void AboutBoxCloser::Run() {
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
