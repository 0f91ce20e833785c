#include "demo_options.h"
#include <windows.h>
#include <shellapi.h>
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

std::wstring WithSeparator(std::wstring path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

bool ParseLevel(const std::wstring& text, long* level) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long value = std::wcstol(text.c_str(), &end, 0);
    if (*end != L'\0' || errno == ERANGE) return false;
    *level = value;
    return true;
}

// "d09f..." -> the text whose UTF-8 bytes these are.
bool ParseUtf8Hex(const std::wstring& hex, std::wstring* text) {
    if (hex.empty() || hex.size() % 2 != 0) return false;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const std::wstring pair = hex.substr(i, 2);
        wchar_t* end = nullptr;
        const unsigned long value = std::wcstoul(pair.c_str(), &end, 16);
        if (*end != L'\0' || !iswxdigit(pair[0])) return false;
        bytes += static_cast<char>(value);
    }
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
    if (size <= 0) return false;
    text->assign(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &(*text)[0], size);
    return true;
}

}  // namespace

std::optional<DemoOptions> ParseDemoOptions(std::wstring* error) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) {
        *error = L"cannot read the command line";
        return std::nullopt;
    }
    std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);

    DemoOptions options;
    options.setupFolder = ProgramFolder() + L"demo-setup\\";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& name = args[i];
        const bool hasValue = i + 1 < args.size();
        if (name == L"--drive") {
            options.drive = true;
            continue;
        }
        if (name != L"--level" && name != L"--client" && name != L"--client-utf8" && name != L"--setup-folder" &&
            name != L"--shots" && name != L"--report") {
            *error = L"unknown argument \"" + name + L"\"";
            return std::nullopt;
        }
        if (!hasValue) {
            *error = name + L" needs a value";
            return std::nullopt;
        }
        const std::wstring& value = args[++i];
        if (name == L"--level") {
            if (!ParseLevel(value, &options.level)) {
                *error = L"--level wants a number, got \"" + value + L"\"";
                return std::nullopt;
            }
        } else if (name == L"--client") {
            options.client = value;
        } else if (name == L"--client-utf8") {
            if (!ParseUtf8Hex(value, &options.client)) {
                *error = L"--client-utf8 wants the hexadecimal bytes of UTF-8 text, got \"" + value + L"\"";
                return std::nullopt;
            }
        } else if (name == L"--setup-folder") {
            options.setupFolder = WithSeparator(value);
        } else if (name == L"--shots") {
            options.shotsFolder = WithSeparator(value);
        } else {
            options.reportFile = value;
        }
    }
    return options;
}
