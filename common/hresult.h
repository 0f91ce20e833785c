// Early-return helpers for HRESULTs and the one place where Win32 error codes
// become HRESULTs.
#pragma once
#include <windows.h>

inline HRESULT HresultFromWin32(LONG error) {
    return error == ERROR_SUCCESS ? S_OK
                                  : static_cast<HRESULT>((static_cast<ULONG>(error) & 0xFFFF) | 0x80070000);
}

#define QUARN_RETURN_IF_FAILED(expr)            \
    do {                                        \
        const HRESULT quarn_hr_ = (expr);       \
        if (FAILED(quarn_hr_)) return quarn_hr_; \
    } while (0)

#define QUARN_RETURN_IF_NULL(ptr, hr)  \
    do {                               \
        if ((ptr) == nullptr) return (hr); \
    } while (0)
