#include "common/profile_file.h"
#include <cstdint>
#include <vector>
#include "common/ansi_string.h"
#include "common/unique_handle.h"

namespace {

const DWORD kPieceSize = 4096;

enum class OpenResult { Read, Created, Failed };

// The whole file's bytes. Other readers may hold the file open meanwhile;
// writers are kept out while it is read.
OpenResult ReadWholeFile(const wchar_t* path, BOOL createIfMissing, std::vector<uint8_t>& bytes) {
    UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (!createIfMissing) return OpenResult::Failed;
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        UniqueFileHandle created(
            CreateFileW(path, GENERIC_READ, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        return created ? OpenResult::Created : OpenResult::Failed;
    }
    uint8_t piece[kPieceSize];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), piece, kPieceSize, &read, nullptr)) return OpenResult::Failed;
        if (read == 0) return OpenResult::Read;
        bytes.insert(bytes.end(), piece, piece + read);
    }
}

bool WritePieces(HANDLE file, const std::vector<uint8_t>& bytes) {
    for (size_t offset = 0; offset < bytes.size(); offset += kPieceSize) {
        const DWORD piece = static_cast<DWORD>(bytes.size() - offset < kPieceSize ? bytes.size() - offset : kPieceSize);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + offset, piece, &written, nullptr) || written != piece) return false;
    }
    return true;
}

bool ReadsBackAs(HANDLE file, const std::vector<uint8_t>& bytes) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
    std::vector<uint8_t> back;
    uint8_t piece[kPieceSize];
    DWORD read = 0;
    while (ReadFile(file, piece, kPieceSize, &read, nullptr) && read > 0) {
        back.insert(back.end(), piece, piece + read);
        if (back.size() > bytes.size()) return false;
    }
    return back == bytes;
}

// Folder part of a path, ending in a separator or a drive's colon; "." for a
// bare file name. Wide, so that no byte of a double-byte character counts as
// a separator.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

// Writes bytes to a temporary file beside path, checks them, then moves the
// file into place. Leaves no temporary file behind.
bool WriteFileReplacing(const std::wstring& path, const std::vector<uint8_t>& bytes, BOOL overwrite) {
    if (!overwrite && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    wchar_t temporary[MAX_PATH] = {};
    if (!GetTempFileNameW(FolderOf(path).c_str(), L"prf", 0, temporary)) return false;
    bool complete = false;
    {
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        UniqueFileHandle file(CreateFileW(temporary, GENERIC_READ | GENERIC_WRITE, 0, &security, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        complete = file && WritePieces(file.Get(), bytes) && FlushFileBuffers(file.Get()) &&
                   ReadsBackAs(file.Get(), bytes) && file.Close();
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
    if (complete && MoveFileExW(temporary, path.c_str(), flags)) return true;
    DeleteFileW(temporary);
    return false;
}

}  // namespace

ProfileFile::ProfileFile() = default;

ProfileFile::~ProfileFile() {
    if (m_bModified && !m_wstrPath.empty()) Save(m_wstrPath, TRUE);
}

BOOL ProfileFile::Load(const char* path, BOOL createIfMissing) {
    if (!path) return FALSE;
    try {
        return Load(WideFromNarrow(path), createIfMissing);
    } catch (...) {
        return FALSE;
    }
}

BOOL ProfileFile::Load(const std::wstring& path, BOOL createIfMissing) {
    try {
        std::vector<uint8_t> bytes;
        switch (ReadWholeFile(path.c_str(), createIfMissing, bytes)) {
        case OpenResult::Failed: return FALSE;
        case OpenResult::Created: break;  // nothing to read yet
        case OpenResult::Read:
            if (!m_map.ReadImage(bytes.data(), bytes.size())) return FALSE;
            break;
        }
        std::string narrowPath = NarrowFromWide(path.data(), path.size());
        m_wstrPath = path;
        m_strPath = std::move(narrowPath);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

BOOL ProfileFile::Save(const char* path, BOOL overwrite) {
    try {
        return Save(path ? WideFromNarrow(path) : m_wstrPath, overwrite);
    } catch (...) {
        return FALSE;
    }
}

BOOL ProfileFile::Save(const std::wstring& path, BOOL overwrite) {
    try {
        if (path.empty()) return FALSE;
        std::vector<uint8_t> image;
        if (!m_map.WriteImage(image)) return FALSE;
        return WriteFileReplacing(path, image, overwrite) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

std::string ProfileFile::GetString(const char* section, const char* key) const {
    if (!section || !key) return std::string();
    try {
        return m_map.GetString(section, key);
    } catch (...) {
        return std::string();
    }
}

LONG ProfileFile::GetKeyCount(const char* section) const {
    if (!section) return 0;
    try {
        return m_map.GetKeyCount(section);
    } catch (...) {
        return 0;
    }
}
