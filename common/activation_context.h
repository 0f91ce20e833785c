// The library's own activation context. The library carries a manifest
// (RT_MANIFEST resource 2) that asks for version 6 of the common controls;
// windows created while its context is active get the platform's current,
// themed controls whatever manifest the host process has, or none.
#pragma once
#include <windows.h>

// Activates the library's context on this thread for the scope's lifetime.
// Where the context cannot be made, windows get the host's controls.
class ActivationScope {
public:
    ActivationScope();
    ~ActivationScope();
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

private:
    ULONG_PTR m_cookie = 0;
    bool m_bActive = false;
};
