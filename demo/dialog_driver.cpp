#include "dialog_driver.h"

DialogDriver::DialogDriver(std::wstring caption, std::function<void(HWND)> action, DWORD timeoutMs)
    : m_caption(std::move(caption)), m_action(std::move(action)), m_timeoutMs(timeoutMs),
      m_thread([this] { Run(); }) {}

DialogDriver::~DialogDriver() { Finish(); }

bool DialogDriver::Finish() {
    if (m_thread.joinable()) m_thread.join();
    return m_found;
}

void DialogDriver::Run() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < m_timeoutMs) {
        HWND dialog = FindWindowW(L"#32770", m_caption.c_str());
        if (dialog && IsWindowVisible(dialog)) {
            m_found = true;
            m_action(dialog);
            return;
        }
        Sleep(50);
    }
}

void WaitForPaint(HWND window) {
    // A window that a modal loop shows late may come up inactive; bring it to
    // the front as a click would. Activation belongs to the window's thread,
    // so this thread shares its input state for the moment.
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    const DWORD thisThread = GetCurrentThreadId();
    const bool attached = windowThread != thisThread && AttachThreadInput(thisThread, windowThread, TRUE);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    if (attached) AttachThreadInput(thisThread, windowThread, FALSE);
    // Without the X input focus on the virtual desktop (nobody clicked into
    // it), the caption would still be drawn inactive.
    SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(800);
}

void PressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
