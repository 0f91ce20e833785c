// The product's setup folder as the About box finds it: a scratch folder that
// the test owns, recorded as "Setup" under HKEY_LOCAL_MACHINE
// "Software\Velmora\QUARN 5\Folders"; the key is moved aside first and put
// back afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "test_support.h"

class SetupFolder {
public:
    // trailingSeparator: record the path with or without its final backslash.
    explicit SetupFolder(const std::string& name, bool trailingSeparator = true);
    const std::string& Path() const { return m_folder.Path(); }
    void Add(const std::string& fileName, const std::vector<uint8_t>& bytes) const;
    // A file whose name the ANSI code page need not be able to spell.
    void Add(const std::wstring& fileName, const std::vector<uint8_t>& bytes) const;
    // Leaves the folders key in place but without a "Setup" value.
    void ForgetSetupValue() const;
    // Records a new subfolder of that name, which the ANSI code page need not
    // be able to spell, as "Setup"; files added by wide name go there.
    void RecordSubfolder(const std::wstring& name);

private:
    KeyBackup m_backup;
    ScratchFolder m_folder;
    std::wstring m_subfolder;  // ends in a backslash; empty: none
};
