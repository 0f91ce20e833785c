// The version resource of an executable file or a loaded module, and its
// string values ("FileVersion" and the like) by language block.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

class VersionInfo {
public:
    VersionInfo();
    ~VersionInfo();
    VersionInfo(const VersionInfo&) = delete;
    VersionInfo& operator=(const VersionInfo&) = delete;

    // Loads the version resource of the module's file.
    [[nodiscard]] bool LoadFromModule(HMODULE module);
    // Loads the version resource of a file; false, holding nothing, when the
    // file has none or its root block is missing, empty or too long.
    [[nodiscard]] bool LoadFromFile(const wchar_t* path);

    // Bytes of a binary block (e.g. "\\VarFileInfo\\Translation"), 0 when it
    // is absent or empty or nothing is loaded. A string value answers its
    // length in characters: GetString reads those.
    DWORD GetValueSize(const wchar_t* subBlock) const;
    // Copies a binary block that is present, not empty and fits in capacity
    // bytes; otherwise copies nothing and answers false.
    [[nodiscard]] bool CopyValue(const wchar_t* subBlock, void* destination, DWORD capacity) const;
    // A string value from the block of languageCodePage (language in the high
    // 16 bits, code page in the low 16 bits); when absent there, from the block
    // of the same language with code page 1200 (0x04B0). Empty when neither
    // holds it. The text is UTF-16, as the resource holds it.
    std::wstring GetString(const wchar_t* name, DWORD languageCodePage) const;

    // The root block; valid after a successful load.
    const VS_FIXEDFILEINFO& FixedInfo() const { return m_fixedInfo; }
    bool IsLoaded() const { return !m_vecData.empty(); }

private:
    void Reset();
    // The string value at path; empty when it is absent.
    std::wstring StringValue(const std::wstring& path) const;

    VS_FIXEDFILEINFO m_fixedInfo = {};
    std::vector<uint8_t> m_vecData;  // the whole block from GetFileVersionInfoW
};
