#include "common/profile_file.h"
#include <cstdint>
#include <vector>
#include "common/unique_handle.h"

namespace {

const DWORD kPieceSize = 4096;

enum class OpenResult { Read, Created, Failed };

// The whole file's bytes. Other readers may hold the file open meanwhile;
// writers are kept out while it is read.
OpenResult ReadWholeFile(const wchar_t* path, bool createIfMissing, std::vector<uint8_t>& bytes) {
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

// Folder part of a path, ending in a separator or a drive's colon; empty for
// a bare file name. Wide, so that no byte of a double-byte character counts
// as a separator.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The form of path that the file functions take at any length: paths of
// MAX_PATH characters and more only in their extended ("\\?\") form.
std::wstring ExtendedForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Creates a new, empty temporary file in the folder of path and gives its
// name. Named here rather than by GetTempFileName, which refuses folders
// longer than MAX_PATH - 14 characters where the target itself still fits.
UniqueFileHandle CreateTemporaryBeside(const std::wstring& path, std::wstring& name) {
    const std::wstring folder = FolderOf(path);
    const DWORD start = GetTickCount() ^ GetCurrentThreadId();
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    for (DWORD attempt = 0; attempt <= 0xFFFF; ++attempt) {
        wchar_t fileName[16];
        wsprintfW(fileName, L"~prf%04X.tmp", (start + attempt) & 0xFFFF);
        name = ExtendedForm(folder + fileName);
        UniqueFileHandle file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    name.clear();
    return UniqueFileHandle();
}

// Whether others let the target be replaced now: every handle they hold on it
// must allow it to be deleted. Asked before anything is written because
// Wine's ReplaceFileW finds out only half-way, with a file of its own left
// behind.
bool CanBeReplaced(const std::wstring& target) {
    const UniqueFileHandle probe(CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(probe);
}

// Writes bytes to a temporary file beside path, checks them, then puts them
// in place. An existing target is replaced by the platform's replace-file
// operation, which gives the new file the target's attributes, creation time
// and security settings; other hard links to the old file keep the old data.
// Leaves no temporary file behind, except when the replacement stopped after
// the target was moved away and the temporary file cannot be moved into its
// place either: then the temporary file holds the only copy of the data.
bool WriteFileReplacing(const std::wstring& path, const std::vector<uint8_t>& bytes, bool overwrite) {
    const std::wstring target = ExtendedForm(path);
    const bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && (!overwrite || !CanBeReplaced(target))) return false;
    std::wstring temporary;
    bool complete = false;
    {
        UniqueFileHandle file = CreateTemporaryBeside(path, temporary);
        if (!file) return false;
        complete = WritePieces(file.Get(), bytes) && FlushFileBuffers(file.Get()) && ReadsBackAs(file.Get(), bytes) &&
                   file.Close();
    }
    const bool placed =
        complete && (exists ? ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                           nullptr, nullptr)
                            : MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    if (placed) return true;
    const DWORD error = GetLastError();
    if (complete && exists &&
        (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)) {
        // The target may be gone already (or moved aside under another name):
        // the temporary file is moved into its place instead, and kept when
        // even that fails.
        return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    }
    DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace

ProfileFile::ProfileFile() = default;

ProfileFile::~ProfileFile() {
    // A destructor has no caller to tell: a failed save leaves the file as it was.
    if (m_bModified && !m_wstrPath.empty()) (void)Save(true);
}

bool ProfileFile::Load(const std::wstring& path, bool createIfMissing) {
    try {
        std::vector<uint8_t> bytes;
        switch (ReadWholeFile(path.c_str(), createIfMissing, bytes)) {
        case OpenResult::Failed: return false;
        case OpenResult::Created: break;  // nothing to read yet
        case OpenResult::Read:
            if (!m_mapSections.ReadImage(bytes.data(), bytes.size())) return false;
            break;
        }
        m_wstrPath = path;
        return true;
    } catch (...) {
        return false;
    }
}

bool ProfileFile::Save(const std::wstring& path, bool overwrite) {
    try {
        if (path.empty()) return false;
        std::vector<uint8_t> image;
        if (!m_mapSections.WriteImage(image)) return false;
        return WriteFileReplacing(path, image, overwrite);
    } catch (...) {
        return false;
    }
}

std::string ProfileFile::GetString(const char* section, const char* key) const {
    if (!section || !key) return std::string();
    try {
        return m_mapSections.GetString(section, key);
    } catch (...) {
        return std::string();
    }
}

LONG ProfileFile::GetKeyCount(const char* section) const {
    if (!section) return 0;
    try {
        return m_mapSections.GetKeyCount(section);
    } catch (...) {
        return 0;
    }
}
