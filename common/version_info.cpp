#include "common/version_info.h"
#include "common/module_path.h"
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// "\StringFileInfo\<block>\<name>", the block written by format.
std::string StringPath(const char* format, unsigned block, const char* name) {
    char head[64];
    snprintf(head, sizeof head, format, block);
    return std::string(head) + name;
}

}  // namespace

VersionInfo::VersionInfo() = default;

VersionInfo::~VersionInfo() = default;

void VersionInfo::Reset() {
    m_data.clear();
    m_data.shrink_to_fit();
    m_fixedInfo = VS_FIXEDFILEINFO();
}

BOOL VersionInfo::LoadFromModule(HMODULE module) {
    std::wstring path;
    if (FAILED(ModuleFilePath(module, &path))) {
        Reset();
        return FALSE;
    }
    return LoadFromFile(path.c_str());
}

BOOL VersionInfo::LoadFromFile(const char* path) {
    Reset();
    if (!path) return FALSE;
    const int chars = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (chars <= 0) return FALSE;
    std::vector<wchar_t> wide;
    try {
        wide.resize(static_cast<size_t>(chars));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), chars);
    return LoadFromFile(wide.data());
}

BOOL VersionInfo::LoadFromFile(const wchar_t* path) {
    Reset();
    if (!path) return FALSE;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return FALSE;
    try {
        m_data.assign(size, 0);
    } catch (const std::bad_alloc&) {
        Reset();
        return FALSE;
    }
    if (GetFileVersionInfoW(path, handle, size, m_data.data()) &&
        CopyValue("\\", &m_fixedInfo, sizeof m_fixedInfo))
        return TRUE;
    Reset();
    return FALSE;
}

DWORD VersionInfo::GetValueSize(const char* subBlock) const {
    if (m_data.empty() || !subBlock) return 0;
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueA takes a non-const block but does not change it.
    if (!VerQueryValueA(const_cast<uint8_t*>(m_data.data()), subBlock, &value, &length) || !value) return 0;
    return length;
}

BOOL VersionInfo::CopyValue(const char* subBlock, void* destination, DWORD capacity) const {
    if (m_data.empty() || !subBlock || !destination) return FALSE;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(const_cast<uint8_t*>(m_data.data()), subBlock, &value, &length) || !value ||
        length == 0 || length > capacity)
        return FALSE;
    memcpy(destination, value, length);
    return TRUE;
}

std::string VersionInfo::GetString(const char* name, DWORD languageCodePage) const {
    if (!name) return std::string();
    try {
        std::string path = StringPath("\\StringFileInfo\\%08X\\", languageCodePage, name);
        DWORD size = GetValueSize(path.c_str());
        if (size == 0 && LOWORD(languageCodePage) != 0x04B0) {
            path = StringPath("\\StringFileInfo\\%04X04B0\\", HIWORD(languageCodePage), name);
            size = GetValueSize(path.c_str());
        }
        if (size == 0) return std::string();
        std::vector<char> text(static_cast<size_t>(size) + 1, '\0');
        if (!CopyValue(path.c_str(), text.data(), size)) return std::string();
        return std::string(text.data());  // up to the first zero byte
    } catch (...) {
        return std::string();
    }
}
