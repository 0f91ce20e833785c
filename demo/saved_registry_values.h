// Takes a copy of some values of one registry key and puts them back as they
// were when destroyed: a value that was missing is deleted again, and a key
// that did not exist is removed again if nothing else was put into it. The
// demo uses it for the remembered logon settings and the setup folder, so
// that the user's registry ends as it began.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

class SavedRegistryValues {
public:
    SavedRegistryValues(HKEY root, std::wstring path, const std::vector<std::wstring>& names);
    ~SavedRegistryValues();
    SavedRegistryValues(const SavedRegistryValues&) = delete;
    SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

private:
    struct Saved {
        std::wstring name;
        bool existed = false;
        DWORD type = 0;
        std::vector<uint8_t> data;
    };
    HKEY m_root;
    std::wstring m_path;
    bool m_keyExisted = false;
    std::vector<Saved> m_values;
};
