// A profile file (such as the product's *.acr files) held in memory whole:
// named sections of named, typed values, loaded from and saved to the
// scrambled byte format of common/profile_stream.h. Nothing here raises or
// shows anything: failures answer FALSE or an empty text.
#pragma once
#include <windows.h>
#include <string>
#include "common/profile_map.h"

class ProfileFile {
public:
    ProfileFile();
    // Saves first when the write-back flag is set, then releases everything.
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // Reads and verifies the file at path into the map. A missing file is
    // created empty when createIfMissing is set (TRUE, map unchanged). The file
    // is opened so that other readers may hold it open too. On FALSE the map
    // and the path are unchanged. A narrow path is in the ANSI code page; names
    // it cannot spell are reached through the wide form.
    BOOL Load(const char* path, BOOL createIfMissing);
    BOOL Load(const std::wstring& path, BOOL createIfMissing);
    // Writes the map to path (null: the path last loaded). Without overwrite
    // an existing file is left alone and FALSE returned. The image goes to a
    // temporary file in the same folder, is read back and compared, and only
    // then replaces the target, so a failed save leaves the target as it was.
    // An existing target keeps its identity: its security settings,
    // attributes and hard links stay, only its data changes.
    BOOL Save(const char* path, BOOL overwrite);
    BOOL Save(const std::wstring& path, BOOL overwrite);

    // Value text up to its first zero byte; empty when the section or key is
    // missing. Names are compared exactly (case-sensitive).
    std::string GetString(const char* section, const char* key) const;
    // The section's key count as stored in the file; 0 when it is missing.
    LONG GetKeyCount(const char* section) const;
    // The section count as stored in the file.
    LONG GetSectionCount() const { return m_map.SectionCount(); }

    // Path of the file last loaded successfully, in the ANSI code page.
    const std::string& Path() const { return m_strPath; }
    // When set at destruction, the map is saved over Path().
    void SetModified(BOOL modified) { m_bModified = modified; }
    BOOL IsModified() const { return m_bModified; }

    const ProfileMap& Map() const { return m_map; }
    ProfileMap& Map() { return m_map; }

private:
    ProfileMap m_map;
    std::string m_strPath;
    std::wstring m_wstrPath;  // the same path as loaded; saves go here
    BOOL m_bModified = FALSE;
};
