#include "common/module_path.h"
#include <new>
#include "common/hresult.h"

namespace {
// The longest path the platform can name, with room for its NUL.
constexpr size_t kLongestPath = 0x8000;
}  // namespace

HRESULT ModuleFilePath(HMODULE module, std::wstring* path) {
    try {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length = GetModuleFileNameW(module, &buffer[0], static_cast<DWORD>(buffer.size()));
            if (length == 0) {
                const DWORD error = GetLastError();
                return error == ERROR_SUCCESS ? E_FAIL : HresultFromWin32(static_cast<LONG>(error));
            }
            // A path that fills the buffer may have been cut short.
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            if (buffer.size() >= kLongestPath) return HresultFromWin32(ERROR_INSUFFICIENT_BUFFER);
            buffer.resize(buffer.size() * 2);
        }
        path->swap(buffer);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
