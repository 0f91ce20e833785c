// The stack protector's guard and failure routine, the library's own.
//
// With -fstack-protector-strong the compiler copies __stack_chk_guard into
// the frame of every function that has a local array or a local whose
// address is taken, and calls __stack_chk_fail when it finds that copy
// changed on return: the stack was overwritten. The toolchain's libssp would
// provide both, but its constructor seeds the guard through
// CryptAcquireContextA and CryptGenRandom, which in a DLL runs inside
// DLL_PROCESS_ATTACH and loads a cryptographic provider under the loader lock
// ("Dynamic-Link Library Best Practices" forbids loading libraries there).
// These definitions take its place, so libssp is never linked.
//
// The guard is seeded as compilers' own security-cookie start-ups do it,
// from what needs no library loaded: the time, the performance counter,
// process and thread identity, and addresses that ASLR places. It is seeded
// by the first constructor to run (priority 101), with only the runtime's
// start-up on the stack, none of it protected: in the DLL within
// DLL_PROCESS_ATTACH before DllMain, in a program before main. A protected
// function that ran earlier has returned; one that were running would see
// the guard change and fail its check, so the seeding function itself is not
// protected (nor is this file: see common/CMakeLists.txt).
#include <windows.h>
#include <cstdint>

extern "C" {

// The value that protects whatever runs before the seeding.
uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x9A6C2E3F41D0B875ULL);

// The stack is corrupt: nothing more of this process may run, not even its
// exception handlers, so the process ends at once. From Windows 8 on through
// the processor's fail-fast interrupt (documented with __fastfail: the
// process is terminated, no handler sees it, Windows Error Reporting
// records the code); before that, as the compilers' own reports do, by
// terminating the process with STATUS_STACK_BUFFER_OVERRUN.
[[noreturn]] void __stack_chk_fail() {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE))
        __asm__ volatile("int $0x29" ::"c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

}  // extern "C"

namespace {

// Mixes one value into the seed, so every bit of every input reaches every
// bit of the guard (the finalizer of SplitMix64).
uint64_t Mix(uint64_t seed, uint64_t value) {
    uint64_t z = seed + value + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t seed = Mix(0, (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    seed = Mix(seed, static_cast<uint64_t>(counter.QuadPart));
    seed = Mix(seed, (static_cast<uint64_t>(GetCurrentProcessId()) << 32) | GetCurrentThreadId());
    seed = Mix(seed, GetTickCount64());
    seed = Mix(seed, reinterpret_cast<uintptr_t>(&seed));          // the stack
    seed = Mix(seed, reinterpret_cast<uintptr_t>(&__stack_chk_guard));  // the image
    const auto guard = static_cast<uintptr_t>(seed);
    if (guard != 0) __stack_chk_guard = guard;
}

}  // namespace
