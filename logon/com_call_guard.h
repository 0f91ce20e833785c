// Keeps exceptions from crossing an interface: runs a method body and turns a
// _com_error into its HRESULT and anything else into E_UNEXPECTED.
#pragma once
#include <windows.h>
#include <comdef.h>

template <typename Body>
HRESULT GuardComCall(Body&& body) noexcept {
    try {
        return body();
    } catch (const _com_error& error) {
        return error.Error();
    } catch (...) {
        return E_UNEXPECTED;
    }
}
