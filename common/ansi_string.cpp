#include "common/ansi_string.h"
#include <comdef.h>
#include <climits>
#include "common/hresult.h"

namespace {
[[noreturn]] void ThrowLastError() {
    const DWORD error = GetLastError();
    throw _com_error(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY || error == 0
                         ? E_OUTOFMEMORY
                         : HresultFromWin32(static_cast<LONG>(error)));
}
}  // namespace

std::string NarrowFromWide(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    if (length > INT_MAX) throw _com_error(E_OUTOFMEMORY);
    const int wide = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) ThrowLastError();
    std::string out(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, wide, &out[0], bytes, nullptr, nullptr) != bytes)
        ThrowLastError();
    return out;
}

std::string NarrowFromBstr(BSTR text) {
    return text ? NarrowFromWide(text, SysStringLen(text)) : std::string();
}

std::wstring WideFromNarrow(const std::string& text) {
    if (text.empty()) return std::wstring();
    if (text.size() > INT_MAX) throw _com_error(E_OUTOFMEMORY);
    const int narrow = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), narrow, nullptr, 0);
    if (chars <= 0) ThrowLastError();
    std::wstring out(static_cast<size_t>(chars), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), narrow, &out[0], chars) != chars) ThrowLastError();
    return out;
}

UniqueBstr BstrFromNarrow(const std::string& text) {
    const std::wstring wide = WideFromNarrow(text);
    UniqueBstr b(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    if (!b.Get()) throw _com_error(E_OUTOFMEMORY);
    return b;
}
