#include "server/registry_walk.h"
#include <oleauto.h>
#include <string>
#include <vector>
#include "common/hresult.h"
#include "common/unique_handle.h"
#include "server/registry_native.h"
#include "server/script_text.h"

namespace {

constexpr DWORD kSubkeyNameBuffer = 256;
constexpr DWORD kValueNameBuffer = 4096;

// The key a root block names; "HKCR" stands for the classes key of the run,
// in the module's own view. The other roots are the predefined keys, in no
// particular view.
ViewKey RootKey(ScriptRoot root, const ClassesViews& classes) {
    switch (root) {
    case ScriptRoot::ClassesRoot: return classes.Own();
    case ScriptRoot::CurrentUser: return {HKEY_CURRENT_USER, 0};
    case ScriptRoot::LocalMachine: return {HKEY_LOCAL_MACHINE, 0};
    case ScriptRoot::Users: return {HKEY_USERS, 0};
    case ScriptRoot::PerformanceData: return {HKEY_PERFORMANCE_DATA, 0};
    case ScriptRoot::DynData: return {HKEY_DYN_DATA, 0};
    case ScriptRoot::CurrentConfig: return {HKEY_CURRENT_CONFIG, 0};
    }
    return {nullptr, 0};
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

// Removes `name` under `parent` when it is a registry link; true when it was one.
bool RemovedAsLink(const ViewKey& parent, const wchar_t* name) {
    UniqueHkey link;
    if (RegOpenKeyExW(parent.key, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | DELETE | parent.view,
                      link.Receive()) != ERROR_SUCCESS ||
        !IsRegistryLink(link.Get()))
        return false;
    // A link that cannot be deleted still is not descended through.
    (void)DeleteKeyByHandle(link.Get());
    return true;
}

// The default value of `path` below `parent`; empty when there is none.
std::wstring ReadDefaultString(const ViewKey& parent, const std::wstring& path) {
    UniqueHkey key;
    wchar_t text[kSubkeyNameBuffer] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegOpenKeyExW(parent.key, path.c_str(), 0, KEY_QUERY_VALUE | parent.view, key.Receive()) != ERROR_SUCCESS ||
        RegGetValueW(key.Get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::wstring();
    return text;
}

// Whether the class of the ProgID `progId` below the classes key `classes`
// (its CLSID, or that of the ProgID its CurVer names) is registered in the
// other registry view. ProgIDs are one for both views, class keys are not:
// such a ProgID still serves the other bitness. Where both views share the
// class key (a 32-bit system, the current user's classes under Wine) there
// is no other registration.
bool ClassRegisteredInOtherView(const ClassesViews& classes, const std::wstring& progId) {
    std::wstring clsid = ReadDefaultString(classes.Own(), progId + L"\\CLSID");
    if (clsid.empty()) {
        const std::wstring current = ReadDefaultString(classes.Own(), progId + L"\\CurVer");
        if (current.empty() || current.find(L'\\') != std::wstring::npos) return false;
        clsid = ReadDefaultString(classes.Own(), current + L"\\CLSID");
    }
    if (clsid.empty() || clsid.find(L'\\') != std::wstring::npos) return false;
    const std::wstring classKey = L"CLSID\\" + clsid;
    return KeyExistsInView(classes, classKey, kOtherView) && !RegistryViewsShareKey(classes, classKey);
}

// The number for "D" data; text that is no unsigned 32-bit number writes 0.
DWORD ParseDword(const std::string& text) {
    std::wstring converted = Utf16FromUtf8(text);
    ULONG number = 0;
    if (FAILED(VarUI4FromStr(&converted[0], 0, 0, &number))) number = 0;
    return number;
}

class Walk {
public:
    Walk(const ScriptTree& tree, const ClassesViews& classes)
        : m_vecItems(tree.items), m_classes(classes) {}

    // Items first up to end, siblings under `parent`.
    HRESULT Register(const ViewKey& parent, size_t first, size_t end);
    HRESULT Unregister(const ViewKey& parent, size_t first, size_t end, size_t depth);
    // The root block the walk is in.
    void EnterRoot(ScriptRoot root) { m_root = root; }

private:
    HRESULT RegisterKey(const ViewKey& parent, size_t index);
    HRESULT UnregisterKey(const ViewKey& parent, size_t index, size_t depth);
    // The write's Win32 error as HRESULT when the value cannot be written.
    [[nodiscard]] HRESULT WriteValue(HKEY key, const wchar_t* name, const ScriptItem& item) const;

    const std::vector<ScriptItem>& m_vecItems;
    const ClassesViews& m_classes;
    ScriptRoot m_root = ScriptRoot::ClassesRoot;
};

HRESULT Walk::Register(const ViewKey& parent, size_t first, size_t end) {
    for (size_t index = first; index < end; index = m_vecItems[index].end) {
        const ScriptItem& item = m_vecItems[index];
        if (item.removeFirst && !item.removeProtected) (void)DeleteKeyTree(parent, Utf16FromUtf8(item.removeName).c_str());
        switch (item.kind) {
        case ScriptItemKind::Value:
            if (HRESULT hr = WriteValue(parent.key, Utf16FromUtf8(item.name).c_str(), item); FAILED(hr)) return hr;
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

HRESULT Walk::RegisterKey(const ViewKey& parent, size_t index) {
    const ScriptItem& item = m_vecItems[index];
    const std::wstring name = Utf16FromUtf8(item.name);
    // A key that can only be read is used nonetheless: a value written to it,
    // or a subkey created below it, then fails the block.
    UniqueHkey key;
    bool created = false;
    const REGSAM view = parent.view;
    if (RegOpenKeyExW(parent.key, name.c_str(), 0, KEY_READ | KEY_WRITE | view, key.Receive()) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent.key, name.c_str(), 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
        if (RegCreateKeyExW(parent.key, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE | parent.view, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        created = true;
    }
    if (item.hasValue) {
        if (HRESULT hr = WriteValue(key.Get(), nullptr, item); FAILED(hr)) return hr;
    }
    if (item.hasBlock) {
        if (HRESULT hr = Register({key.Get(), parent.view}, index + 1, item.end); FAILED(hr)) return hr;
    }
    if (!key.Close() && created) return DISP_E_EXCEPTION;
    return S_OK;
}

HRESULT Walk::Unregister(const ViewKey& parent, size_t first, size_t end, size_t depth) {
    if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    for (size_t index = first; index < end; index = m_vecItems[index].end) {
        const ScriptItem& item = m_vecItems[index];
        switch (item.kind) {
        case ScriptItemKind::Value:
            (void)RegDeleteValueW(parent.key, Utf16FromUtf8(item.name).c_str());
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

HRESULT Walk::UnregisterKey(const ViewKey& parent, size_t index, size_t depth) {
    const ScriptItem& item = m_vecItems[index];
    const std::wstring name = Utf16FromUtf8(item.name);
    if (!item.keep) {
        // A link where the key would be goes itself; nothing behind it is touched.
        if (RemovedAsLink(parent, name.c_str())) return S_OK;
        // A ProgID whose class the other bitness still has stays whole.
        if (m_root == ScriptRoot::ClassesRoot && depth == 1 && ClassRegisteredInOtherView(m_classes, name)) return S_OK;
    }
    // Opened for writing where allowed, so that the values the block names
    // can be deleted from a key that stays.
    UniqueHkey key;
    const REGSAM view = parent.view;
    if (RegOpenKeyExW(parent.key, name.c_str(), 0, KEY_READ | KEY_WRITE | view, key.Receive()) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent.key, name.c_str(), 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS)
        return S_OK;  // not there: nothing below it either

    // At most a default value: the key goes, whatever its block lists.
    const bool bare = !KeyHasSubkeys(key.Get()) && !KeyHasNamedValues(key.Get());
    if (!bare && item.hasBlock) {
        if (HRESULT hr = Unregister({key.Get(), parent.view}, index + 1, item.end, depth + 1); FAILED(hr)) return hr;
    }
    if (!bare && KeyHasSubkeys(key.Get())) return S_OK;
    if (!key.Close()) return DISP_E_EXCEPTION;
    if (!item.keep) (void)RegDeleteKeyExW(parent.key, name.c_str(), parent.view, 0);
    return S_OK;
}

HRESULT Walk::WriteValue(HKEY key, const wchar_t* name, const ScriptItem& item) const {
    LONG error = ERROR_SUCCESS;
    switch (item.type) {
    case ScriptValueType::String: {
        const std::wstring text = Utf16FromUtf8(item.data);
        error = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        break;
    }
    case ScriptValueType::Dword: {
        const DWORD number = ParseDword(item.data);
        error = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        break;
    }
    case ScriptValueType::Binary: {
        std::vector<unsigned char> bytes = BinaryFromDigits(item.data);
        const DWORD size = static_cast<DWORD>(bytes.size());
        bytes.push_back(0);  // so that the pointer is never null
        error = RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), size);
        break;
    }
    }
    return HresultFromWin32(error);
}

}  // namespace

HRESULT RegisterScriptTree(const ScriptTree& tree, const ClassesViews& classes) {
    if (tree.maxDepth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    Walk walk(tree, classes);
    for (size_t index = 0; index < tree.items.size(); index = tree.items[index].end) {
        const ScriptItem& root = tree.items[index];
        const ViewKey key = RootKey(root.root, classes);
        walk.EnterRoot(root.root);
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

HRESULT UnregisterScriptTree(const ScriptTree& tree, const ClassesViews& classes) {
    Walk walk(tree, classes);
    for (size_t index = 0; index < tree.items.size(); index = tree.items[index].end) {
        const ScriptItem& root = tree.items[index];
        walk.EnterRoot(root.root);
        const HRESULT hr = walk.Unregister(RootKey(root.root, classes), index + 1, root.end, 1);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

LONG DeleteKeyTree(const ViewKey& parent, const wchar_t* name) {
    // An empty name would stand for the parent itself.
    if (*name == L'\0') return ERROR_INVALID_PARAMETER;
    UniqueHkey key;
    LONG error = RegOpenKeyExW(parent.key, name, REG_OPTION_OPEN_LINK, KEY_READ | DELETE | parent.view, key.Receive());
    if (error != ERROR_SUCCESS) return error;
    // A link goes through its own handle: deleted by name it would be
    // followed, and the key it points to would go instead.
    if (IsRegistryLink(key.Get())) return DeleteKeyByHandle(key.Get());
    wchar_t subkey[kSubkeyNameBuffer];
    for (;;) {
        DWORD length = kSubkeyNameBuffer;
        if (RegEnumKeyExW(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        error = DeleteKeyTree({key.Get(), parent.view}, subkey);
        if (error != ERROR_SUCCESS) return error;
    }
    (void)key.Close();
    return RegDeleteKeyExW(parent.key, name, parent.view, 0);
}
