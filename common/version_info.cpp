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

bool VersionInfo::LoadFromFile(const char* path) {
    Reset();
    if (!path) return false;
    const int chars = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (chars <= 0) return false;
    std::vector<wchar_t> wide;
    try {
        wide.resize(static_cast<size_t>(chars));
    } catch (const std::bad_alloc&) {
        return false;
    }
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), chars);
    return LoadFromFile(wide.data());
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
        CopyValue("\\", &m_fixedInfo, sizeof m_fixedInfo))
        return true;
    Reset();
    return false;
}

DWORD VersionInfo::GetValueSize(const char* subBlock) const {
    if (m_vecData.empty() || !subBlock) return 0;
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueA takes a non-const block but does not change it.
    if (!VerQueryValueA(const_cast<uint8_t*>(m_vecData.data()), subBlock, &value, &length) || !value) return 0;
    return length;
}

bool VersionInfo::CopyValue(const char* subBlock, void* destination, DWORD capacity) const {
    if (m_vecData.empty() || !subBlock || !destination) return false;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(const_cast<uint8_t*>(m_vecData.data()), subBlock, &value, &length) || !value ||
        length == 0 || length > capacity)
        return false;
    memcpy(destination, value, length);
    return true;
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
