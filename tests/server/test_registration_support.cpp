#include "test_registration_support.h"
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::string RenderData(DWORD type, const std::vector<BYTE>& data) {
    char buffer[16];
    switch (type) {
    case REG_SZ: {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return "sz:" + Utf8(text);
    }
    case REG_DWORD: {
        DWORD number = 0;
        if (data.size() == sizeof number) memcpy(&number, data.data(), sizeof number);
        snprintf(buffer, sizeof buffer, "0x%08lx", static_cast<unsigned long>(number));
        return std::string("dword:") + (data.size() == sizeof number ? buffer : "?");
    }
    case REG_BINARY: {
        std::string out = "bin:";
        for (BYTE b : data) {
            snprintf(buffer, sizeof buffer, "%02x", b);
            out += buffer;
        }
        return out;
    }
    default:
        return "type" + std::to_string(type);
    }
}

void DumpKey(HKEY key, const std::wstring& relative, std::vector<std::string>* lines) {
    lines->push_back("[" + Utf8(relative) + "]");
    std::vector<std::string> values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size + 2, 0);
        nameLength = 16384;
        RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
        data.resize(size);
        values.push_back(Utf8(relative) + ":" + (nameLength == 0 ? "@" : Utf8(std::wstring(name, nameLength))) +
                         "=" + RenderData(type, data));
    }
    std::sort(values.begin(), values.end());
    lines->insert(lines->end(), values.begin(), values.end());

    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(name, length);
    }
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::wstring& subkey : subkeys) {
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        DumpKey(child, relative.empty() ? subkey : relative + L"\\" + subkey, lines);
        RegCloseKey(child);
    }
}
}  // namespace

std::string InScratch(const std::string& body) {
    return "HKCU { NoRemove Software { NoRemove QuarnverTest { Regscript { " + body + " } } } }";
}

std::string DumpScratch() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratchPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<absent>";
    std::vector<std::string> lines;
    DumpKey(key, L"", &lines);
    RegCloseKey(key);
    std::string out;
    for (const std::string& line : lines) {
        if (!out.empty()) out += "\n";
        out += line;
    }
    return out;
}

HRESULT Run(const std::string& script, BOOL doRegister) {
    ReplacementTable none;
    return RunRegistrationScript(script, none, doRegister, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT});
}
