// A profile file (such as the product's *.acr files) held in memory whole:
// named sections of named, typed values, loaded from and saved to the
// scrambled byte format of common/profile_stream.h. Nothing here raises or
// shows anything: failures answer false or an empty text.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "common/profile_map.h"

class ProfileFile {
public:
    ProfileFile();
    // Saves first when the write-back flag is set, then releases everything.
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // Reads and verifies the file at path into the map. A missing file is
    // created empty when createIfMissing is set (true, map unchanged). The file
    // is opened so that other readers may hold it open too. On false the map
    // and the path are unchanged.
    [[nodiscard]] bool Load(const std::wstring& path, bool createIfMissing);
    // What a save did; true only when the new data is in place.
    struct SaveResult {
        enum Outcome {
            Saved,     // the new data is in place under the path
            NotSaved,  // the file under the path, if there is one, is as it was
            // The replacement stopped half-way, the target moved away, and
            // neither file could be moved back under its name: the old data
            // (or, when the platform deleted the old file, the new data) is
            // kept in the one file the save leaves beside it, keptFile.
            SetAside,
        } outcome;
        // SetAside: the path of the file that holds the only copy, a
        // "~prf*.tmp" name beside the target; otherwise empty.
        std::wstring keptFile;
        explicit operator bool() const { return outcome == Saved; }
    };
    // Writes the map to path (without one: the path last loaded). Without overwrite
    // an existing file is left alone and NotSaved returned. The image goes to a
    // temporary file in the same folder, is read back and compared, and only
    // then replaces the target, so a failed save leaves the target as it was.
    // The new file takes over an existing target's attributes, creation time
    // and security settings; it is a new file, so other hard links to the
    // target keep the old data. Should the replacement stop half-way, with
    // the target already moved away, the new file is moved into its place
    // with those settings carried over, or else the old file is moved back.
    // No temporary file outlives the call, except as SetAside says.
    [[nodiscard]] SaveResult Save(const std::wstring& path, bool overwrite);
    [[nodiscard]] SaveResult Save(bool overwrite) { return Save(m_wstrPath, overwrite); }
    // A path is a std::wstring: a bare pointer is neither taken for the
    // overwrite flag nor turned into a path (it may be null).
    template <class Char>
    SaveResult Save(const Char* path) = delete;
    SaveResult Save(const wchar_t* path, bool overwrite) = delete;

    // Value text up to its first zero byte; empty when the section or key is
    // missing. Names are compared exactly (case-sensitive).
    std::string GetString(const char* section, const char* key) const;
    // The section's key count as stored in the file; 0 when it is missing.
    LONG GetKeyCount(const char* section) const;
    // The section count as stored in the file.
    LONG GetSectionCount() const { return m_mapSections.SectionCount(); }

    // Path of the file last loaded successfully.
    const std::wstring& Path() const { return m_wstrPath; }
    // When set at destruction, the map is saved over Path().
    void SetModified(bool modified) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }

    const ProfileMap& Map() const { return m_mapSections; }
    ProfileMap& Map() { return m_mapSections; }

private:
    ProfileMap m_mapSections;
    std::wstring m_wstrPath;
    bool m_bModified = false;
};

// The form of path that the file functions take at any length: a path whose
// full form is MAX_PATH characters or more becomes that full form prefixed
// "\\?\" ("\\?\UNC\" for a network path); any other path is returned as
// it is.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The names of the *.acr files in folder (empty: the current directory; else
// ending in a separator), at any path length, in the order the directory
// search returns them. Only names whose long form ends in ".acr" count.
// NOTE: throws std::bad_alloc when memory runs out.
std::vector<std::wstring> FindProfileFiles(const std::wstring& folder);
