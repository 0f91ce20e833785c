#include "server/registration_script.h"
#include <comdef.h>
#include <oleauto.h>
#include <new>
#include <vector>
#include "common/ansi_string.h"
#include "common/hresult.h"
#include "common/unique_handle.h"

static_assert(kScriptOk == S_OK, "script results are HRESULTs");
static_assert(kScriptSyntaxError == DISP_E_EXCEPTION, "script results are HRESULTs");
static_assert(kScriptFail == E_FAIL, "script results are HRESULTs");
static_assert(kScriptOutOfMemory == E_OUTOFMEMORY, "script results are HRESULTs");

namespace {

struct RootKey {
    const char* name;
    HKEY key;
};
// Searched in this order; the first match wins.
const RootKey RootKeyTable[] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

struct ValueType {
    const char* letter;
    DWORD type;
};
const ValueType ValueTypeTable[] = {
    {"S", REG_SZ},
    {"D", REG_DWORD},
    {"B", REG_BINARY},
};

// Keys that ForceRemove and Delete never remove: they hold the entries of
// every other class and type library.
const char* const ProtectedKeyNames[] = {"CLSID", "TYPELIB"};

// Blocks that open or create keys nest at most as deep as the registry
// itself does; deeper text is refused instead of exhausting the stack. Blocks
// that are only read over may nest to any depth.
constexpr int kMaxBlockDepth = 512;
constexpr DWORD kSubkeyNameBuffer = 256;
constexpr DWORD kValueNameBuffer = 4096;

const char* Win32CharNext(const char* text) { return CharNextA(text); }
int Win32CompareNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }
bool Win32NarrowFromWide(const std::wstring& text, std::string* out) {
    try {
        *out = NarrowFromWide(text.data(), text.size());
    } catch (const _com_error&) {
        return false;
    }
    return true;
}

bool KeyHasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys > 0;
}

// A key that holds only its default value counts as having none.
bool KeyHasNamedValues(HKEY key) {
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (values == 0) return false;
    if (values >= 2) return true;
    std::vector<char> name(kValueNameBuffer);
    DWORD length = kValueNameBuffer;
    const LONG error = RegEnumValueA(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    // A name too long for the buffer is certainly not the empty default name.
    if (error == ERROR_MORE_DATA) return true;
    return error == ERROR_SUCCESS && length > 0;
}

// Removes the key `name` under `parent` with its whole tree; a Win32 error code.
LONG DeleteKeyTree(HKEY parent, const char* name) {
    UniqueHkey key;
    LONG error = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, key.Receive());
    if (error != ERROR_SUCCESS) return error;
    char subkey[kSubkeyNameBuffer];
    for (;;) {
        DWORD length = kSubkeyNameBuffer;
        if (RegEnumKeyExA(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        error = DeleteKeyTree(key.Get(), subkey);
        if (error != ERROR_SUCCESS) return error;
    }
    key.Close();
    return RegDeleteKeyA(parent, name);
}

// The number for "D" data; text that is no unsigned 32-bit number writes 0.
DWORD ParseDword(const std::string& text) {
    ULONG number = 0;
    try {
        std::wstring converted = WideFromNarrow(text);
        if (FAILED(VarUI4FromStr(&converted[0], 0, 0, &number))) number = 0;
    } catch (const _com_error&) {
        number = 0;
    }
    return number;
}

BYTE HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
    return 0;
}

class RegistrationScript {
public:
    RegistrationScript(const char* text, const TextPlatform& platform) : m_reader(text, platform) {}

    // The root loop over every block of the text.
    HRESULT Run(bool doRegister);

private:
    HRESULT ProcessBlock(HKEY parent, bool doRegister, bool walkOnly, int depth);
    HRESULT RegisterBlock(HKEY parent, int depth);
    HRESULT UnregisterBlock(HKEY parent, int depth);
    // Reads over one block, nested blocks included, without touching the
    // registry.
    HRESULT WalkBlock();
    // Reads the type letter and the data, writes the value, and reads the
    // next token into `token`.
    HRESULT WriteValue(HKEY key, const char* valueName, std::string* token);
    // When `token` is an assignment, reads over its type letter and data and
    // reads the next token into `token`.
    HRESULT SkipValueAssignment(std::string* token);
    HRESULT ReadValueName(std::string* name);
    HRESULT CheckKeyName(const std::string& name) const;
    bool IsProtected(const std::string& name) const;

    HRESULT ReadToken(std::string* token) { return m_reader.ReadToken(token); }
    bool Is(const std::string& token, const char* word) const { return m_reader.Is(token, word); }

    ScriptReader m_reader;
};

HRESULT RegistrationScript::Run(bool doRegister) {
    std::string token;
    while (!m_reader.AtEnd()) {
        QUARN_RETURN_IF_FAILED(ReadToken(&token));
        HKEY root = nullptr;
        for (const RootKey& row : RootKeyTable) {
            if (Is(token, row.name)) {
                root = row.key;
                break;
            }
        }
        if (root == nullptr) return DISP_E_EXCEPTION;
        QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (token.empty() || token[0] != '{') return DISP_E_EXCEPTION;

        if (doRegister) {
            // A block that fails part-way is taken out again, so that no half
            // registration of it stays behind; earlier blocks stay.
            const size_t blockStart = m_reader.Position();
            const HRESULT hr = ProcessBlock(root, true, false, 1);
            if (FAILED(hr)) {
                m_reader.Seek(blockStart);
                (void)ProcessBlock(root, false, false, 1);
                return hr;
            }
        } else {
            QUARN_RETURN_IF_FAILED(ProcessBlock(root, false, false, 1));
        }
        m_reader.SkipWhiteSpace();
    }
    return S_OK;
}

HRESULT RegistrationScript::ProcessBlock(HKEY parent, bool doRegister, bool walkOnly, int depth) {
    if (!doRegister && walkOnly) return WalkBlock();
    if (depth > kMaxBlockDepth) return DISP_E_EXCEPTION;
    return doRegister ? RegisterBlock(parent, depth) : UnregisterBlock(parent, depth);
}

HRESULT RegistrationScript::CheckKeyName(const std::string& name) const {
    // A key name names exactly one level below its parent: an empty name
    // would stand for the parent itself.
    if (name.empty()) return DISP_E_EXCEPTION;
    const char* text = name.c_str();
    for (size_t pos = 0; text[pos] != '\0'; pos = NextCharacter(text, pos, m_reader.Platform())) {
        if (text[pos] == '\\') return DISP_E_EXCEPTION;
    }
    return S_OK;
}

bool RegistrationScript::IsProtected(const std::string& name) const {
    for (const char* protectedName : ProtectedKeyNames) {
        if (Is(name, protectedName)) return true;
    }
    return false;
}

HRESULT RegistrationScript::ReadValueName(std::string* name) {
    QUARN_RETURN_IF_FAILED(ReadToken(name));
    return name->size() > kMaxValueNameLength ? DISP_E_EXCEPTION : S_OK;
}

HRESULT RegistrationScript::RegisterBlock(HKEY parent, int depth) {
    UniqueHkey current;
    std::string token;
    QUARN_RETURN_IF_FAILED(ReadToken(&token));
    while (!IsClosingBrace(token)) {
        if (Is(token, "ForceRemove") || Is(token, "Delete")) {
            const bool isDelete = Is(token, "Delete");
            std::string name;
            QUARN_RETURN_IF_FAILED(ReadToken(&name));
            QUARN_RETURN_IF_FAILED(CheckKeyName(name));
            if (!IsProtected(name)) (void)DeleteKeyTree(parent, name.c_str());
            if (isDelete) {
                QUARN_RETURN_IF_FAILED(ReadToken(&token));
                QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
                // A Delete item has no block.
                if (IsOpeningBraceAlone(token)) return DISP_E_EXCEPTION;
                continue;
            }
            token = std::move(name);
        }
        if (Is(token, "NoRemove")) QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (Is(token, "Val")) {
            std::string valueName;
            QUARN_RETURN_IF_FAILED(ReadValueName(&valueName));
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            if (!IsAssignment(token)) return DISP_E_EXCEPTION;
            QUARN_RETURN_IF_FAILED(WriteValue(parent, valueName.c_str(), &token));
            // A value has no block.
            if (IsOpeningBraceAlone(token)) return DISP_E_EXCEPTION;
            continue;
        }

        QUARN_RETURN_IF_FAILED(CheckKeyName(token));
        UniqueHkey key;
        bool created = false;
        if (RegOpenKeyExA(parent, token.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS &&
            RegOpenKeyExA(parent, token.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
            if (RegCreateKeyExA(parent, token.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                key.Receive(), nullptr) != ERROR_SUCCESS)
                return DISP_E_EXCEPTION;
            created = true;
        }
        const bool closed = current.Close();
        current = std::move(key);
        if (!closed && created) return DISP_E_EXCEPTION;

        QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (IsAssignment(token)) QUARN_RETURN_IF_FAILED(WriteValue(current.Get(), nullptr, &token));
        if (IsOpeningBraceAlone(token)) {
            QUARN_RETURN_IF_FAILED(ProcessBlock(current.Get(), true, false, depth + 1));
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
        }
    }
    return S_OK;
}

HRESULT RegistrationScript::UnregisterBlock(HKEY parent, int depth) {
    std::string token;
    QUARN_RETURN_IF_FAILED(ReadToken(&token));
    while (!IsClosingBrace(token)) {
        bool keep = false;
        if (Is(token, "ForceRemove") || Is(token, "Delete")) QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (Is(token, "NoRemove")) {
            keep = true;
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
        }
        if (Is(token, "Val")) {
            std::string valueName;
            QUARN_RETURN_IF_FAILED(ReadValueName(&valueName));
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            if (!IsAssignment(token)) return DISP_E_EXCEPTION;
            (void)RegDeleteValueA(parent, valueName.c_str());
            QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
            if (IsOpeningBraceAlone(token)) return DISP_E_EXCEPTION;
            continue;
        }

        QUARN_RETURN_IF_FAILED(CheckKeyName(token));
        const std::string name = token;
        // Opened for writing where allowed, so that the values the block names
        // can be deleted from a key that stays.
        UniqueHkey key;
        if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS &&
            RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
            // Not there: this item is only read over.
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
            if (IsOpeningBraceAlone(token)) {
                QUARN_RETURN_IF_FAILED(WalkBlock());
                QUARN_RETURN_IF_FAILED(ReadToken(&token));
            }
            continue;
        }

        if (!KeyHasSubkeys(key.Get()) && !KeyHasNamedValues(key.Get())) {
            // At most a default value: the key goes, whatever its block lists.
            if (!key.Close()) return DISP_E_EXCEPTION;
            if (!keep) (void)RegDeleteKeyA(parent, name.c_str());
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
            if (IsOpeningBraceAlone(token)) {
                QUARN_RETURN_IF_FAILED(WalkBlock());
                QUARN_RETURN_IF_FAILED(ReadToken(&token));
            }
            continue;
        }

        QUARN_RETURN_IF_FAILED(ReadToken(&token));
        QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
        if (IsOpeningBraceAlone(token)) {
            QUARN_RETURN_IF_FAILED(ProcessBlock(key.Get(), false, false, depth + 1));
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
        }
        if (!KeyHasSubkeys(key.Get())) {
            // Named values the script does not mention go with the key.
            if (!key.Close()) return DISP_E_EXCEPTION;
            if (!keep) (void)RegDeleteKeyA(parent, name.c_str());
        }
    }
    return S_OK;
}

HRESULT RegistrationScript::WalkBlock() {
    // The same reading as UnregisterBlock, with a count of open blocks in
    // place of recursion.
    size_t openBlocks = 1;
    std::string token;
    QUARN_RETURN_IF_FAILED(ReadToken(&token));
    for (;;) {
        if (IsClosingBrace(token)) {
            if (--openBlocks == 0) return S_OK;
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            continue;
        }
        if (Is(token, "ForceRemove") || Is(token, "Delete")) QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (Is(token, "NoRemove")) QUARN_RETURN_IF_FAILED(ReadToken(&token));
        if (Is(token, "Val")) {
            std::string valueName;
            QUARN_RETURN_IF_FAILED(ReadValueName(&valueName));
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
            if (!IsAssignment(token)) return DISP_E_EXCEPTION;
            QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
            if (IsOpeningBraceAlone(token)) return DISP_E_EXCEPTION;
            continue;
        }
        QUARN_RETURN_IF_FAILED(CheckKeyName(token));
        QUARN_RETURN_IF_FAILED(ReadToken(&token));
        QUARN_RETURN_IF_FAILED(SkipValueAssignment(&token));
        if (IsOpeningBraceAlone(token)) {
            ++openBlocks;
            QUARN_RETURN_IF_FAILED(ReadToken(&token));
        }
    }
}

HRESULT RegistrationScript::WriteValue(HKEY key, const char* valueName, std::string* token) {
    std::string letter;
    QUARN_RETURN_IF_FAILED(ReadToken(&letter));
    const ValueType* type = nullptr;
    for (const ValueType& row : ValueTypeTable) {
        if (Is(letter, row.letter)) {
            type = &row;
            break;
        }
    }
    if (type == nullptr) return DISP_E_EXCEPTION;

    std::string data;
    QUARN_RETURN_IF_FAILED(ReadToken(&data));
    // A value that cannot be written is passed over.
    switch (type->type) {
    case REG_SZ:
        (void)RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + 1));
        break;
    case REG_DWORD: {
        const DWORD number = ParseDword(data);
        (void)RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        break;
    }
    case REG_BINARY: {
        if (data.size() % 2 != 0) return E_FAIL;
        std::vector<BYTE> bytes(data.size() / 2 + 1, 0);  // one spare byte so the pointer is never null
        for (size_t i = 0; i < data.size(); ++i)
            bytes[i / 2] |= static_cast<BYTE>(HexDigitValue(data[i]) << (i % 2 == 0 ? 4 : 0));
        (void)RegSetValueExA(key, valueName, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(data.size() / 2));
        break;
    }
    }
    return ReadToken(token);
}

HRESULT RegistrationScript::SkipValueAssignment(std::string* token) {
    if (!IsAssignment(*token)) return S_OK;
    std::string skipped;
    QUARN_RETURN_IF_FAILED(ReadToken(&skipped));  // type letter
    QUARN_RETURN_IF_FAILED(ReadToken(&skipped));  // data
    return ReadToken(token);
}

}  // namespace

const TextPlatform& Win32TextPlatform() {
    static const TextPlatform platform = {&Win32CharNext, &Win32CompareNoCase, &Win32NarrowFromWide};
    return platform;
}

HRESULT ResourceLoadFailure(DWORD lastError) {
    // A failed call that left no error behind is still a failure.
    if (lastError == ERROR_SUCCESS) return E_FAIL;
    return static_cast<HRESULT>(0x80070000u | (lastError & 0xFFFFu));
}

HRESULT RunRegistrationScript(const std::string& script, const ReplacementTable& replacements, BOOL doRegister) {
    try {
        std::string expanded;
        QUARN_RETURN_IF_FAILED(ExpandReplacements(script.c_str(), replacements, Win32TextPlatform(), &expanded));
        RegistrationScript run(expanded.c_str(), Win32TextPlatform());
        return run.Run(doRegister != FALSE);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, BOOL doRegister) {
    try {
        // The module's own file; the buffer grows until the whole path fits.
        std::string path(MAX_PATH, '\0');
        for (;;) {
            const DWORD length = GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size()));
            if (length == 0) return ResourceLoadFailure(GetLastError());
            if (length < path.size()) {
                path.resize(length);
                break;
            }
            if (path.size() >= 0x10000) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
            path.resize(path.size() * 2);
        }

        // "%MODULE%" stands inside quoted tokens, so its ' are doubled.
        std::wstring quoted;
        for (wchar_t c : WideFromNarrow(path)) {
            quoted += c;
            if (c == L'\'') quoted += L'\'';
        }
        ReplacementTable replacements;
        (void)replacements.Add(L"Module", quoted.c_str());

        if (resourceId > 0xFFFF) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        // The script is read from a second, data-only mapping of the file.
        UniqueModule file(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!file) return ResourceLoadFailure(GetLastError());
        HRSRC info = FindResourceA(file.Get(), MAKEINTRESOURCEA(static_cast<WORD>(resourceId)), "REGISTRY");
        if (info == nullptr) return ResourceLoadFailure(GetLastError());
        HGLOBAL loaded = LoadResource(file.Get(), info);
        if (loaded == nullptr) return ResourceLoadFailure(GetLastError());
        const DWORD size = SizeofResource(file.Get(), info);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes == nullptr && size != 0) return ResourceLoadFailure(GetLastError());
        const std::string script(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : size);
        return RunRegistrationScript(script, replacements, doRegister);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
