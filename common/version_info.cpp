#include "common/version_info.h"
#include "common/module_path.h"
#include <cstring>
#include <new>

namespace {

// "\StringFileInfo\<block>\<name>", the block written by format.
std::wstring StringPath(const wchar_t* format, unsigned block, const wchar_t* name) {
    wchar_t head[64];
    wsprintfW(head, format, block);  // no C runtime printf: it brings in floating-point formatting
    return std::wstring(head) + name;
}

}  // namespace

VersionInfo::VersionInfo() = default;

VersionInfo::~VersionInfo() = default;

void VersionInfo::Reset() {
    m_vecData.clear();
    m_vecData.shrink_to_fit();
    m_fixedInfo = VS_FIXEDFILEINFO();
}

bool VersionInfo::LoadFromModule(HMODULE module) {
    std::wstring path;
    if (FAILED(ModuleFilePath(module, &path))) {
        Reset();
        return false;
    }
    return LoadFromFile(path.c_str());
}

bool VersionInfo::LoadFromFile(const wchar_t* path) {
    Reset();
    if (!path) return false;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return false;
    try {
        m_vecData.assign(size, 0);
    } catch (const std::bad_alloc&) {
        Reset();
        return false;
    }
    if (GetFileVersionInfoW(path, handle, size, m_vecData.data()) &&
        CopyValue(L"\\", &m_fixedInfo, sizeof m_fixedInfo))
        return true;
    Reset();
    return false;
}

DWORD VersionInfo::GetValueSize(const wchar_t* subBlock) const {
    if (m_vecData.empty() || !subBlock) return 0;
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueW takes a non-const block but does not change it.
    if (!VerQueryValueW(const_cast<uint8_t*>(m_vecData.data()), subBlock, &value, &length) || !value) return 0;
    return length;
}

bool VersionInfo::CopyValue(const wchar_t* subBlock, void* destination, DWORD capacity) const {
    if (m_vecData.empty() || !subBlock || !destination) return false;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(const_cast<uint8_t*>(m_vecData.data()), subBlock, &value, &length) || !value ||
        length == 0 || length > capacity)
        return false;
    memcpy(destination, value, length);
    return true;
}

std::wstring VersionInfo::GetString(const wchar_t* name, DWORD languageCodePage) const {
    if (!name || m_vecData.empty()) return std::wstring();
    try {
        std::wstring text = StringValue(StringPath(L"\\StringFileInfo\\%08X\\", languageCodePage, name));
        if (text.empty() && LOWORD(languageCodePage) != 0x04B0)
            text = StringValue(StringPath(L"\\StringFileInfo\\%04X04B0\\", HIWORD(languageCodePage), name));
        return text;
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
}

std::wstring VersionInfo::StringValue(const std::wstring& path) const {
    void* value = nullptr;
    UINT length = 0;  // in characters
    // VerQueryValueW takes a non-const block but does not change it.
    if (!VerQueryValueW(const_cast<uint8_t*>(m_vecData.data()), path.c_str(), &value, &length) || !value)
        return std::wstring();
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, length));  // up to the first zero character
}
