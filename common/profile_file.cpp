#include "common/profile_file.h"
#include <cstdint>
#include <cstring>
#include <new>
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

// Compares piece by piece, so that nothing here can throw while the
// temporary file exists.
bool ReadsBackAs(HANDLE file, const std::vector<uint8_t>& bytes) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
    uint8_t piece[kPieceSize];
    size_t offset = 0;
    DWORD read = 0;
    while (ReadFile(file, piece, kPieceSize, &read, nullptr) && read > 0) {
        if (read > bytes.size() - offset || memcmp(piece, bytes.data() + offset, read) != 0) return false;
        offset += read;
    }
    return offset == bytes.size();
}

// Folder part of a path, ending in a separator or a drive's colon; empty for
// a bare file name. Wide, so that no byte of a double-byte character counts
// as a separator.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
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
        name = ExtendedLengthPath(folder + fileName);
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

using SaveResult = ProfileFile::SaveResult;

// Removes a file of this save's own, whatever attributes it was given.
void RemoveOwnFile(const std::wstring& name) {
    (void)SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    (void)DeleteFileW(name.c_str());
}

// The name of a file of this save's own, removed with the object unless
// released: kept, or moved to a name that is not the save's own.
struct OwnFile {
    std::wstring name;
    ~OwnFile() {
        if (!name.empty()) RemoveOwnFile(name);
    }
    SaveResult Release(SaveResult result) {
        name.clear();
        return result;
    }
    // Keeps the file and tells the caller which it is; swapped, so that
    // nothing can throw while the only copy is named here alone.
    SaveResult SetAside() {
        SaveResult result{SaveResult::SetAside, {}};
        result.keptFile.swap(name);
        return result;
    }
};

// Gives `to` what the platform's replace-file operation keeps of the file it
// replaces: the access rules, the creation time and the attributes of `from`,
// each as far as the file system lets them be set.
void CarryOverAttributes(const std::wstring& from, const std::wstring& to) {
    DWORD size = 0;
    (void)GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    try {
        std::vector<uint8_t> descriptor(size);
        if (size > 0 && GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size))
            (void)SetFileSecurityW(to.c_str(), DACL_SECURITY_INFORMATION, descriptor.data());
    } catch (const std::bad_alloc&) {
        // The new file keeps the folder's access rules.
    }
    {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        const UniqueFileHandle source(
            CreateFileW(from.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, 0, nullptr));
        const UniqueFileHandle target(
            CreateFileW(to.c_str(), FILE_WRITE_ATTRIBUTES, share, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME created = {};
        if (source && target && GetFileTime(source.Get(), &created, nullptr, nullptr))
            (void)SetFileTime(target.Get(), &created, nullptr, nullptr);
    }
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) (void)SetFileAttributesW(to.c_str(), attributes);
}

bool Exists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// After a replacement that stopped half-way. Where the target is still in
// place it holds the old data, or the new when the temporary file is gone.
// Where it is gone, the old file is under the backup name, or deleted by a
// platform that made no backup: the new file is moved into its place, else
// the old one moved back. A file is kept only when neither move succeeds: the
// old file, or the temporary one when it holds the only copy.
SaveResult FinishHalfReplacement(const std::wstring& target, OwnFile& temporary, OwnFile& backup) {
    if (Exists(target)) return {Exists(temporary.name) ? SaveResult::NotSaved : SaveResult::Saved};
    const bool backedUp = Exists(backup.name);
    if (backedUp) CarryOverAttributes(backup.name, temporary.name);
    if (MoveFileExW(temporary.name.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return temporary.Release({SaveResult::Saved});
    if (!backedUp) return temporary.SetAside();
    if (MoveFileExW(backup.name.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return backup.Release({SaveResult::NotSaved});
    return backup.SetAside();
}

// Writes bytes to a temporary file beside path, checks them, then puts them
// in place. An existing target is replaced by the platform's replace-file
// operation, which gives the new file the target's attributes, creation time
// and security settings and moves the old file to a backup name of ours;
// other hard links to the old file keep the old data.
SaveResult WriteFileReplacing(const std::wstring& path, const std::vector<uint8_t>& bytes, bool overwrite) {
    const std::wstring target = ExtendedLengthPath(path);
    const bool exists = Exists(target);
    if (exists && (!overwrite || !CanBeReplaced(target))) return {SaveResult::NotSaved};
    OwnFile temporary;
    {
        UniqueFileHandle file = CreateTemporaryBeside(path, temporary.name);
        if (!file || !WritePieces(file.Get(), bytes) || !FlushFileBuffers(file.Get()) ||
            !ReadsBackAs(file.Get(), bytes) || !file.Close())
            return {SaveResult::NotSaved};
    }
    if (!exists) {
        if (!MoveFileExW(temporary.name.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return {SaveResult::NotSaved};
        return temporary.Release({SaveResult::Saved});
    }
    // A name no file has, for the old file while the new one takes its place.
    OwnFile backup;
    if (!CreateTemporaryBeside(path, backup.name)) return {SaveResult::NotSaved};
    RemoveOwnFile(backup.name);
    if (!ReplaceFileW(target.c_str(), temporary.name.c_str(), backup.name.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr))
        return FinishHalfReplacement(target, temporary, backup);
    return temporary.Release({SaveResult::Saved});
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
        switch (ReadWholeFile(ExtendedLengthPath(path).c_str(), createIfMissing, bytes)) {
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

ProfileFile::SaveResult ProfileFile::Save(const std::wstring& path, bool overwrite) {
    try {
        if (path.empty()) return {SaveResult::NotSaved};
        std::vector<uint8_t> image;
        if (!m_mapSections.WriteImage(image)) return {SaveResult::NotSaved};
        return WriteFileReplacing(path, image, overwrite);
    } catch (...) {
        return {SaveResult::NotSaved};
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

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) return path;
    // A relative path counts at the length it has once resolved.
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0 || size <= MAX_PATH) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::vector<std::wstring> FindProfileFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(ExtendedLengthPath(folder + L"*.acr").c_str(), &entry));
    if (!search) return names;
    do {
        // The pattern also matches 8.3 short names: "x.acrbak" is found as "X~1.ACR".
        const size_t length = wcslen(entry.cFileName);
        if (length >= 4 && CompareStringOrdinal(entry.cFileName + length - 4, 4, L".acr", 4, TRUE) == CSTR_EQUAL)
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search.Get(), &entry));
    return names;
}
