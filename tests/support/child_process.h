// Runs another program as its user would (a sample, a script under the
// script host, regsvr32) and closes the About boxes it opens.
#pragma once
#include <windows.h>
#include <atomic>
#include <string>
#include <thread>

// Runs the command line, collects what it writes to standard output and
// standard error, and gives its exit code (0xFFFFFFFF when it cannot start;
// it is ended after timeoutMs).
DWORD RunProcess(const std::string& commandLine, std::string* output, DWORD timeoutMs = 120000);

// Closes every About box ("О программе", of any process) until stopped, and
// counts them.
class AboutBoxCloser {
public:
    AboutBoxCloser();
    ~AboutBoxCloser();
    AboutBoxCloser(const AboutBoxCloser&) = delete;
    AboutBoxCloser& operator=(const AboutBoxCloser&) = delete;
    // Stops watching; the number of boxes closed.
    int Stop();

private:
    void Run();
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closed{0};
    std::thread m_thread;
};
