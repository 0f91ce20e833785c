#include "server/registry_walk.h"
#include <oleauto.h>
#include <string>
#include <vector>
#include "common/unique_handle.h"

namespace {

constexpr DWORD kSubkeyNameBuffer = 256;
constexpr DWORD kValueNameBuffer = 4096;

HKEY PredefinedKey(ScriptRoot root) {
    switch (root) {
    case ScriptRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case ScriptRoot::CurrentUser: return HKEY_CURRENT_USER;
    case ScriptRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case ScriptRoot::Users: return HKEY_USERS;
    case ScriptRoot::PerformanceData: return HKEY_PERFORMANCE_DATA;
    case ScriptRoot::DynData: return HKEY_DYN_DATA;
    case ScriptRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], chars);
    return wide;
}

bool KeyHasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys > 0;
}

// A key that holds only its default value counts as having none.
bool KeyHasNamedValues(HKEY key) {
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (values == 0) return false;
    if (values >= 2) return true;
    std::vector<wchar_t> name(kValueNameBuffer);
    DWORD length = kValueNameBuffer;
    const LONG error = RegEnumValueW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    // A name too long for the buffer is certainly not the empty default name.
    if (error == ERROR_MORE_DATA) return true;
    return error == ERROR_SUCCESS && length > 0;
}

// Removes the key `name` under `parent` with its whole tree; a Win32 error code.
LONG DeleteKeyTree(HKEY parent, const wchar_t* name) {
    // An empty name would stand for the parent itself.
    if (*name == L'\0') return ERROR_INVALID_PARAMETER;
    UniqueHkey key;
    LONG error = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.Receive());
    if (error != ERROR_SUCCESS) return error;
    wchar_t subkey[kSubkeyNameBuffer];
    for (;;) {
        DWORD length = kSubkeyNameBuffer;
        if (RegEnumKeyExW(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        error = DeleteKeyTree(key.Get(), subkey);
        if (error != ERROR_SUCCESS) return error;
    }
    key.Close();
    return RegDeleteKeyW(parent, name);
}

// The number for "D" data; text that is no unsigned 32-bit number writes 0.
DWORD ParseDword(const std::string& text) {
    std::wstring converted = Wide(text);
    ULONG number = 0;
    if (FAILED(VarUI4FromStr(&converted[0], 0, 0, &number))) number = 0;
    return number;
}

class Walk {
public:
    Walk(const ScriptTree& tree, const TextPlatform* platform) : m_vecItems(tree.items), m_pPlatform(platform) {}

    // Items first up to end, siblings under `parent`.
    HRESULT Register(HKEY parent, size_t first, size_t end);
    HRESULT Unregister(HKEY parent, size_t first, size_t end, size_t depth);

private:
    HRESULT RegisterKey(HKEY parent, size_t index);
    HRESULT UnregisterKey(HKEY parent, size_t index, size_t depth);
    // A value that cannot be written is passed over.
    void WriteValue(HKEY key, const wchar_t* name, const ScriptItem& item) const;

    const std::vector<ScriptItem>& m_vecItems;
    const TextPlatform* m_pPlatform;
};

HRESULT Walk::Register(HKEY parent, size_t first, size_t end) {
    for (size_t index = first; index < end; index = m_vecItems[index].end) {
        const ScriptItem& item = m_vecItems[index];
        if (item.removeFirst && !item.removeProtected) (void)DeleteKeyTree(parent, Wide(item.removeName).c_str());
        switch (item.kind) {
        case ScriptItemKind::Value:
            WriteValue(parent, Wide(item.name).c_str(), item);
            break;
        case ScriptItemKind::Key:
            if (HRESULT hr = RegisterKey(parent, index); FAILED(hr)) return hr;
            break;
        case ScriptItemKind::Root:
        case ScriptItemKind::Delete:
            break;
        }
    }
    return S_OK;
}

HRESULT Walk::RegisterKey(HKEY parent, size_t index) {
    const ScriptItem& item = m_vecItems[index];
    const std::wstring name = Wide(item.name);
    // A key that can only be read is used nonetheless: its values are not
    // written, and creating a subkey below it fails.
    UniqueHkey key;
    bool created = false;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                            key.Receive(), nullptr) != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        created = true;
    }
    if (item.hasValue) WriteValue(key.Get(), nullptr, item);
    if (item.hasBlock) {
        if (HRESULT hr = Register(key.Get(), index + 1, item.end); FAILED(hr)) return hr;
    }
    if (!key.Close() && created) return DISP_E_EXCEPTION;
    return S_OK;
}

HRESULT Walk::Unregister(HKEY parent, size_t first, size_t end, size_t depth) {
    if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    for (size_t index = first; index < end; index = m_vecItems[index].end) {
        const ScriptItem& item = m_vecItems[index];
        switch (item.kind) {
        case ScriptItemKind::Value:
            (void)RegDeleteValueW(parent, Wide(item.name).c_str());
            break;
        case ScriptItemKind::Key:
        case ScriptItemKind::Delete:
            if (HRESULT hr = UnregisterKey(parent, index, depth); FAILED(hr)) return hr;
            break;
        case ScriptItemKind::Root:
            break;
        }
    }
    return S_OK;
}

HRESULT Walk::UnregisterKey(HKEY parent, size_t index, size_t depth) {
    const ScriptItem& item = m_vecItems[index];
    const std::wstring name = Wide(item.name);
    // Opened for writing where allowed, so that the values the block names
    // can be deleted from a key that stays.
    UniqueHkey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return S_OK;  // not there: nothing below it either

    // At most a default value: the key goes, whatever its block lists.
    const bool bare = !KeyHasSubkeys(key.Get()) && !KeyHasNamedValues(key.Get());
    if (!bare && item.hasBlock) {
        if (HRESULT hr = Unregister(key.Get(), index + 1, item.end, depth + 1); FAILED(hr)) return hr;
    }
    if (!bare && KeyHasSubkeys(key.Get())) return S_OK;
    if (!key.Close()) return DISP_E_EXCEPTION;
    if (!item.keep) (void)RegDeleteKeyW(parent, name.c_str());
    return S_OK;
}

void Walk::WriteValue(HKEY key, const wchar_t* name, const ScriptItem& item) const {
    switch (item.type) {
    case ScriptValueType::String: {
        const std::wstring text = Wide(item.data);
        (void)RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        break;
    }
    case ScriptValueType::Dword: {
        const DWORD number = ParseDword(item.data);
        (void)RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        break;
    }
    case ScriptValueType::Binary: {
        std::vector<unsigned char> bytes = BinaryFromDigits(item.data, *m_pPlatform);
        const DWORD size = static_cast<DWORD>(bytes.size());
        bytes.push_back(0);  // so that the pointer is never null
        (void)RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), size);
        break;
    }
    }
}

}  // namespace

HRESULT RegisterScriptTree(const ScriptTree& tree, const TextPlatform& platform) {
    if (tree.maxDepth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    Walk walk(tree, &platform);
    for (size_t index = 0; index < tree.items.size(); index = tree.items[index].end) {
        const ScriptItem& root = tree.items[index];
        const HKEY key = PredefinedKey(root.root);
        const HRESULT hr = walk.Register(key, index + 1, root.end);
        if (FAILED(hr)) {
            // A root block that fails part-way is taken out again, so that no
            // half registration of it stays behind; earlier blocks stay.
            (void)walk.Unregister(key, index + 1, root.end, 1);
            return hr;
        }
    }
    return S_OK;
}

HRESULT UnregisterScriptTree(const ScriptTree& tree) {
    Walk walk(tree, nullptr);
    for (size_t index = 0; index < tree.items.size(); index = tree.items[index].end) {
        const ScriptItem& root = tree.items[index];
        const HRESULT hr = walk.Unregister(PredefinedKey(root.root), index + 1, root.end, 1);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
