// Drives one modal dialog of the demo from a second thread, for runs without
// a person at the screen: waits until a dialog with the caption is shown,
// lets it paint, and hands it to an action (fill in, take a picture, press a
// button). The thread is joined on destruction.
#pragma once
#include <windows.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

class DialogDriver {
public:
    DialogDriver(std::wstring caption, std::function<void(HWND)> action, DWORD timeoutMs = 30000);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Joins the thread; true when the dialog was found and the action ran.
    bool Finish();

private:
    void Run();

    std::wstring m_caption;
    std::function<void(HWND)> m_action;
    DWORD m_timeoutMs;
    std::atomic<bool> m_found{false};
    std::thread m_thread;
};

// Brings a just-shown window to the front and lets it finish painting
// before its picture is taken.
void WaitForPaint(HWND window);
// Presses a dialog's button the way a click does.
void PressButton(HWND dialog, int id);
