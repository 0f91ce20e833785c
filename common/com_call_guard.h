// The library's one exception barrier. No exception may leave the library:
// the 32-bit build unwinds with DWARF tables, which cannot pass through the
// system's frames or another module's, so an exception that reaches a
// DispatchMessage, a DialogBoxParam, the type library's Invoke or the caller
// ends the process.
//
// Therefore every exported function, every interface method that does more
// than plain reads and writes of its own fields, every window procedure and
// every callback handed to the system runs its body through GuardComCall.
// A new entry point follows the same rule.
//
// A _com_error becomes its HRESULT, running out of memory E_OUTOFMEMORY, and
// anything else E_UNEXPECTED.
#pragma once
#include <windows.h>
#include <comdef.h>
#include <new>

template <typename Body>
[[nodiscard]] HRESULT GuardComCall(Body&& body) noexcept {
    try {
        return body();
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
