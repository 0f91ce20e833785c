#include "saved_registry_values.h"
#include "common/unique_handle.h"

SavedRegistryValues::SavedRegistryValues(HKEY root, std::wstring path, const std::vector<std::wstring>& names)
    : m_root(root), m_path(std::move(path)) {
    UniqueHkey key;
    m_keyExisted = RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
    for (const std::wstring& name : names) {
        Saved saved;
        saved.name = name;
        DWORD size = 0;
        if (m_keyExisted &&
            RegQueryValueExW(key.Get(), name.c_str(), nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.existed = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &saved.type,
                                             saved.data.empty() ? nullptr : saved.data.data(),
                                             &size) == ERROR_SUCCESS;
            saved.data.resize(size);
        }
        m_values.push_back(std::move(saved));
    }
}

SavedRegistryValues::~SavedRegistryValues() {
    UniqueHkey key;
    if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    for (const Saved& saved : m_values) {
        if (saved.existed)
            RegSetValueExW(key.Get(), saved.name.c_str(), 0, saved.type, saved.data.data(),
                           static_cast<DWORD>(saved.data.size()));
        else
            RegDeleteValueW(key.Get(), saved.name.c_str());
    }
    if (m_keyExisted) return;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        key.Close();
        RegDeleteKeyW(m_root, m_path.c_str());
    }
}
