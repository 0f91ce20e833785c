// The stack protector of everything built from the library's code: a
// function that overruns its stack buffer ends its process at once, with
// STATUS_STACK_BUFFER_OVERRUN and no exception handler run, and each process
// guards its stack with a value of its own.
#include <doctest/doctest.h>
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include "child_process.h"

extern "C" uintptr_t __stack_chk_guard;

namespace {

LONG CALLBACK ReportException(EXCEPTION_POINTERS* pointers) {
    printf("exception %08lX\n", pointers->ExceptionRecord->ExceptionCode);
    fflush(stdout);
    return EXCEPTION_CONTINUE_SEARCH;
}

__attribute__((noinline, noipa)) void CopyToStack(const char* text) {
    char buffer[8];
    strcpy(buffer, text);
    puts(buffer);
}

// This program run for the test case below alone: its exit code, and what it printed.
DWORD RunOverrun(std::string* output) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return RunProcess("\"" + std::string(self) + "\" --no-skip --test-case=\"*overruns its stack*\"", output);
}

}  // namespace

TEST_CASE("A function that overruns its stack buffer (run alone, in a process of its own)" * doctest::skip()) {
    printf("guard %p\n", reinterpret_cast<void*>(__stack_chk_guard));
    fflush(stdout);
    AddVectoredExceptionHandler(1, ReportException);
    CopyToStack("a text far longer than the buffer it is copied into");
    FAIL("the overrun went unnoticed");
}

TEST_CASE("A stack overrun ends the process at once, and no two processes share a guard") {
    std::string first, second;
    CHECK(RunOverrun(&first) == STATUS_STACK_BUFFER_OVERRUN);
    CHECK(RunOverrun(&second) == STATUS_STACK_BUFFER_OVERRUN);
    INFO(first << second);
    CHECK(first.find("exception") == std::string::npos);  // no handler saw it
    const auto guard = [](const std::string& output) {
        const size_t at = output.find("guard ");
        return at == std::string::npos ? std::string() : output.substr(at, output.find('\n', at) - at);
    };
    CHECK(guard(first) != guard(second));
}
