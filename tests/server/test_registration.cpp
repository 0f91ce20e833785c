// Self-registration of quarnver.dll: the class entries both scripts write
// into HKEY_CLASSES_ROOT, the type library registration, unregistration, and
// Wine's regsvr32 as a real client.
#include <doctest/doctest.h>
#include <optional>
#include <string>
#include "child_process.h"
#include "import_patch.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "server/registry_native.h"
#include "system_tools.h"

namespace {
struct ClassNames {
    const wchar_t* progId;
    const wchar_t* independentProgId;
    const wchar_t* description;
    const wchar_t* clsid;
};
const ClassNames kClasses[] = {
    {L"Quarn5.Logon.1", L"Quarn5.Logon", L"Quarn5Logon Class", L"{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}"},
    {L"Quarn5.About.1", L"Quarn5.About", L"Quarn5About Class", L"{9AB6D601-2E3E-11D3-9751-00E0290CC6BF}"},
};
const wchar_t kTypeLibKey[] = L"TypeLib\\{8D1A51A0-2B1B-11D3-9751-00E0290CC6BF}";
// The Interface keys the type library's registration writes for its two dual interfaces.
const wchar_t* const kInterfaceKeys[] = {L"Interface\\{8D1A51AD-2B1B-11D3-9751-00E0290CC6BF}",
                                         L"Interface\\{9AB6D600-2E3E-11D3-9751-00E0290CC6BF}"};
// The file path of the type library, under the platform of this program's bitness.
const wchar_t kTypeLibPathKey[] =
    L"TypeLib\\{8D1A51A0-2B1B-11D3-9751-00E0290CC6BF}\\1.0\\409\\" QUARN_TYPELIB_PLATFORM;

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

DWORD SubkeyCount(HKEY root, const std::wstring& path, DWORD* values = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0xFFFFFFFF;
    DWORD subkeys = 0, valueCount = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &valueCount, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    if (values) *values = valueCount;
    return subkeys;
}

// `classes` is HKEY_CLASSES_ROOT, or the open classes key of the user or the machine.
void CheckClassRegistered(const ClassNames& c, const std::wstring& modulePath, HKEY classes = HKEY_CLASSES_ROOT) {
    CAPTURE(std::string(c.progId, c.progId + wcslen(c.progId)));
    const std::wstring classKey = std::wstring(L"CLSID\\") + c.clsid;
    CHECK(ReadRegString(classes, c.progId, L"") == c.description);
    CHECK(ReadRegString(classes, std::wstring(c.progId) + L"\\CLSID", L"") == c.clsid);
    CHECK(ReadRegString(classes, c.independentProgId, L"") == c.description);
    CHECK(ReadRegString(classes, std::wstring(c.independentProgId) + L"\\CurVer", L"") == c.progId);
    CHECK(ReadRegString(classes, classKey, L"") == c.description);
    CHECK(ReadRegString(classes, classKey + L"\\ProgID", L"") == c.progId);
    CHECK(ReadRegString(classes, classKey + L"\\VersionIndependentProgID", L"") == c.independentProgId);
    CHECK(KeyExists(classes, classKey + L"\\Programmable"));
    CHECK(ReadRegString(classes, classKey + L"\\Programmable", L"") == L"<missing>");
    CHECK(ReadRegString(classes, classKey + L"\\InprocServer32", L"") == modulePath);
    CHECK(ReadRegString(classes, classKey + L"\\InprocServer32", L"ThreadingModel") == L"Apartment");
    // Exactly these entries.
    DWORD values = 0;
    CHECK(SubkeyCount(classes, classKey, &values) == 4);
    CHECK(values == 1);
    CHECK(SubkeyCount(classes, c.progId, &values) == 1);
    CHECK(SubkeyCount(classes, c.independentProgId, &values) == 1);
    CHECK(SubkeyCount(classes, classKey + L"\\InprocServer32", &values) == 0);
    CHECK(values == 2);
}

void CheckClassGone(const ClassNames& c, HKEY classes = HKEY_CLASSES_ROOT) {
    CHECK_FALSE(KeyExists(classes, c.progId));
    CHECK_FALSE(KeyExists(classes, c.independentProgId));
    CHECK_FALSE(KeyExists(classes, std::wstring(L"CLSID\\") + c.clsid));
}

}  // namespace

TEST_CASE("registering writes both classes and the type library; unregistering removes only the classes") {
    RegistrationGuard guard;
    QuarnverModule dll;
    const std::wstring path = ModulePath(dll.Handle());

    REQUIRE(dll.RegisterServer() == S_OK);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0", L"") ==
          L"QUARN 5 Common User Interface");
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, kTypeLibPathKey, L"") == path);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0\\HELPDIR", L"") == folder);

    // Registering again leaves the same entries.
    REQUIRE(dll.RegisterServer() == S_OK);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path);

    CHECK(dll.UnregisterServer() == S_OK);
    for (const ClassNames& c : kClasses) CheckClassGone(c);
    CHECK(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    CHECK(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));

    // Nothing registered: still S_OK.
    CHECK(dll.UnregisterServer() == S_OK);
}

TEST_CASE("the classes register in the registry view of the library's bitness only") {
    // Clients of the other bitness cannot load this module in process, so its
    // class keys belong in its own view: the native one for a 64-bit library,
    // the redirected (Wow6432Node) one for a 32-bit library in a 64-bit prefix.
    const REGSAM ownView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const auto existsIn = [](REGSAM view, const std::wstring& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    };
    RegistrationGuard guard;
    QuarnverModule dll;
    REQUIRE(dll.RegisterServer() == S_OK);
    for (const ClassNames& c : kClasses) {
        CAPTURE(std::string(c.progId, c.progId + wcslen(c.progId)));
        const std::wstring server = std::wstring(L"CLSID\\") + c.clsid + L"\\InprocServer32";
        CHECK(existsIn(ownView, server));
        CHECK_FALSE(existsIn(otherView, server));
    }
    CHECK(dll.UnregisterServer() == S_OK);
}

namespace {
LSTATUS WINAPI RefusedSetValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
}  // namespace

namespace {
// A class key of the other bitness's library for a class of ours, in the
// other registry view, removed again when the object goes.
class OtherViewClass {
public:
    explicit OtherViewClass(const wchar_t* clsid) : m_path(std::wstring(L"CLSID\\") + clsid) {
        HKEY key = nullptr;
        m_created = !KeyExistsIn(m_path) &&
                    RegCreateKeyExW(HKEY_CLASSES_ROOT, (m_path + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                                    KEY_WRITE | kOtherView, nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (key) RegCloseKey(key);
    }
    ~OtherViewClass() {
        if (!m_created) return;
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, (m_path + L"\\InprocServer32").c_str(), kOtherView, 0);
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, m_path.c_str(), kOtherView, 0);
    }
    bool Created() const { return m_created; }
    static bool KeyExistsIn(const std::wstring& path, REGSAM view = kOtherView) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    static constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    static constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

private:
    std::wstring m_path;
    bool m_created = false;
};
}  // namespace

// ProgID keys are one for both registry views, class keys are not: a ProgID
// whose class the library of the other bitness still has registered stays.
TEST_CASE("unregistering keeps the ProgIDs of a class still registered by the other bitness") {
    for (size_t other = 0; other < 2; ++other) {
        const ClassNames& kept = kClasses[other];
        const ClassNames& gone = kClasses[1 - other];
        CAPTURE(std::string(kept.progId, kept.progId + wcslen(kept.progId)));
        RegistrationGuard guard;
        QuarnverModule dll;
        {
            OtherViewClass otherBitness(kept.clsid);
            REQUIRE(otherBitness.Created());
            REQUIRE(dll.RegisterServer() == S_OK);
            CHECK(dll.UnregisterServer() == S_OK);
            CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kept.progId) + L"\\CLSID", L"") == kept.clsid);
            CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kept.independentProgId) + L"\\CurVer", L"") ==
                  kept.progId);
            CHECK_FALSE(OtherViewClass::KeyExistsIn(std::wstring(L"CLSID\\") + kept.clsid, OtherViewClass::kOwnView));
            CHECK(OtherViewClass::KeyExistsIn(std::wstring(L"CLSID\\") + kept.clsid));
            CheckClassGone(gone);
        }
        // Once the other bitness's class is gone too, so are its ProgIDs.
        CHECK(dll.UnregisterServer() == S_OK);
        CheckClassGone(kept);
    }
}

TEST_CASE("a failing first class registers nothing else") {
    const struct {
        const char* what;
        bool volatileProgId;  // a volatile key cannot hold the non-volatile subkeys the first script creates
        bool valuesRefused;   // every value write of the library is refused
        HRESULT result;
        bool standardUser;  // HKEY_LOCAL_MACHINE refuses writing, as it does a standard user on Windows
    } cases[] = {
        {"a key that cannot be created", true, false, DISP_E_EXCEPTION},
        {"values that cannot be written", false, true, E_ACCESSDENIED},
        {"a standard user", false, false, DISP_E_EXCEPTION, true},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        RegistrationGuard guard;
        QuarnverModule dll;
        if (c.volatileProgId) {
            HKEY key = nullptr;
            REQUIRE(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Quarn5.Logon.1", 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
            RegCloseKey(key);
        }
        {
            std::optional<ImportPatch> refuse;
            if (c.valuesRefused) {
                refuse.emplace(dll.Handle(), "advapi32.dll", "RegSetValueExW",
                               reinterpret_cast<void*>(&RefusedSetValue));
                REQUIRE(refuse->Patched());
            }
            std::optional<WriteRefusingRegistry> standardUser;
            if (c.standardUser) standardUser.emplace(dll.Handle(), HKEY_LOCAL_MACHINE);
            CHECK(dll.RegisterServer() == c.result);
        }
        CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Quarn5.Logon.1"));
        CheckClassGone(kClasses[1]);
        CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
        CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClasses[0].clsid));
        if (c.valuesRefused) CheckClassGone(kClasses[0]);
    }
}

TEST_CASE("Wine's regsvr32 registers and unregisters the library") {
    RegistrationGuard guard;
    wchar_t path[MAX_PATH] = {};
    {
        QuarnverModule dll;
        GetModuleFileNameW(dll.Handle(), path, MAX_PATH);
    }
    const std::string regsvr32 = QUARN_SYSTEM_TOOLS_DIR "regsvr32.exe";
    const std::string quoted = "\"" + Utf8ToAnsi(WideToUtf8(path).c_str()) + "\"";
    std::string output;
    CHECK(RunProcess(regsvr32 + " /s " + quoted, &output) == 0);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path);
    CHECK(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    CHECK(RunProcess(regsvr32 + " /u /s " + quoted, &output) == 0);
    for (const ClassNames& c : kClasses) CheckClassGone(c);
}

namespace {
// A copy of quarnver.dll at `path`, optionally without its embedded type library.
bool CopyLibrary(const std::wstring& path, bool keepTypeLibrary) {
    wchar_t original[MAX_PATH] = {};
    {
        QuarnverModule dll;
        GetModuleFileNameW(dll.Handle(), original, MAX_PATH);
    }
    if (!CopyFileW(original, path.c_str(), FALSE)) return false;
    if (keepTypeLibrary) return true;
    // Replace the embedded type library with bytes the loader refuses.
    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) return false;
    char garbage[64] = "not a type library";
    const BOOL replaced = UpdateResourceW(update, L"TYPELIB", MAKEINTRESOURCEW(1),
                                          MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), garbage, sizeof garbage);
    return EndUpdateResourceW(update, FALSE) && replaced;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A file path inside `base`, exactly `total` characters long, whose file
// name has at least `fileLength` characters; the folders are created.
std::wstring FolderForPathLength(const std::wstring& base, size_t fileLength, size_t total) {
    std::wstring folder = base;
    while (folder.size() + fileLength + 1 < total) {
        const size_t room = total - fileLength - 1 - folder.size();
        const size_t part = room > 60 ? 60 : room;
        if (part < 2) break;
        folder += L"\\" + std::wstring(part - 1, L'd');
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    return folder + L"\\" + std::wstring(total - folder.size() - 1, L'f');
}
}  // namespace

TEST_CASE("a module without its type library registers the .tlb beside it") {
    RegistrationGuard guard;
    ScratchFolder folder("tlb_fallback");
    const std::wstring dllPath = Wide(folder.File("quarnver_copy.dll"));
    const std::wstring tlbPath = Wide(folder.File("quarnver_copy.tlb"));
    REQUIRE(CopyLibrary(dllPath, false));
    REQUIRE(CopyFileW(Wide(QUARNVER_TLB).c_str(), tlbPath.c_str(), FALSE));

    HMODULE copy = LoadLibraryW(dllPath.c_str());
    REQUIRE(copy);
    auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(copy, "DllRegisterServer")));
    CHECK(registerServer() == S_OK);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, kTypeLibPathKey, L"") == tlbPath);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0\\HELPDIR", L"") ==
          Wide(folder.Path()));

    // Without the .tlb the registration reports the loader's failure.
    DeleteTree(HKEY_CLASSES_ROOT, kTypeLibKey);
    DeleteFileW(tlbPath.c_str());
    CHECK(FAILED(registerServer()));
    CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    FreeLibrary(copy);
}

TEST_CASE("module paths of 257 to 259 characters never overrun a path buffer") {
    RegistrationGuard guard;
    ScratchFolder folder("long_path");
    std::wstring base = Wide(folder.Path());
    base.pop_back();
    for (size_t length = 257; length <= 259; ++length) {
        CAPTURE(length);
        for (bool keepTypeLibrary : {true, false}) {
            CAPTURE(keepTypeLibrary);
            // No '.' anywhere: the .tlb fallback appends four characters.
            const std::wstring path = FolderForPathLength(base, 8, length);
            REQUIRE(path.size() == length);
            REQUIRE(path.find(L'.') == std::wstring::npos);
            REQUIRE(CopyLibrary(path, keepTypeLibrary));
            HMODULE copy = LoadLibraryW((path + L".").c_str());
            REQUIRE(copy);
            auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(copy, "DllRegisterServer")));
            DeleteTree(HKEY_CLASSES_ROOT, kTypeLibKey);
            const HRESULT hr = registerServer();
            if (keepTypeLibrary) {
                CHECK(hr == S_OK);
                CHECK(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
            } else {
                CHECK(hr == HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
                CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
            }
            FreeLibrary(copy);
            DeleteFileW(path.c_str());
        }
    }
}

TEST_CASE("a library in a folder the ANSI code page cannot spell registers its true paths") {
    // Run under code page 1252 too, where Cyrillic has no narrow form.
    RegistrationGuard guard;
    ScratchFolder scratch("cyrillic_install");
    const std::wstring programs = Wide(scratch.Path()) + Utf8ToWide("\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0"
                                                                    "\xD0\xBC\xD0\xBC\xD1\x8B");  // Программы
    const std::wstring folder = programs + Utf8ToWide("\\\xD0\x92\xD0\xB5\xD0\xBB\xD0\xBC\xD0\xBE\xD1\x80\xD0\xB0\\");
    const std::wstring dllPath = folder + L"quarnver.dll";
    REQUIRE(CreateDirectoryW(programs.c_str(), nullptr));
    REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));
    REQUIRE(CopyLibrary(dllPath, true));

    HMODULE copy = LoadLibraryW(dllPath.c_str());
    REQUIRE(copy);
    const auto call = [copy](const char* name) {
        return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(copy, name)))();
    };
    CHECK(call("DllRegisterServer") == S_OK);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, dllPath);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, kTypeLibPathKey, L"") == dllPath);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0\\HELPDIR", L"") == folder);
    CHECK(call("DllUnregisterServer") == S_OK);
    for (const ClassNames& c : kClasses) CheckClassGone(c);

    FreeLibrary(copy);
    CHECK(DeleteFileW(dllPath.c_str()));
    CHECK(RemoveDirectoryW(folder.c_str()));
    CHECK(RemoveDirectoryW(programs.c_str()));
}

namespace {
// The classes of the current user or of the machine, opened for reading.
struct ClassesKey {
    explicit ClassesKey(HKEY root) { RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ, &key); }
    ~ClassesKey() { if (key) RegCloseKey(key); }
    HKEY key = nullptr;
};

// The copies below `hive`'s classes of every entry that registration writes, in both views.
std::string ClassesRegistration(HKEY hive) {
    std::wstring text;
    for (const wchar_t* path : RegistrationGuard::kPaths)
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            AppendTree(hive, std::wstring(L"Software\\Classes\\") + path, view, &text);
    return WideToUtf8(text);
}
std::string MachineRegistration() { return ClassesRegistration(HKEY_LOCAL_MACHINE); }

// What a per-user registration leaves: both classes and the type library
// below the user's classes, nothing machine-wide.
void CheckRegisteredForUser(const std::wstring& path, const std::string& machine) {
    ClassesKey user(HKEY_CURRENT_USER);
    REQUIRE(user.key);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path, user.key);
    CHECK(ReadRegString(user.key, kTypeLibPathKey, L"") == path);
    CHECK(ReadRegString(user.key, std::wstring(kTypeLibKey) + L"\\1.0\\HELPDIR", L"") ==
          path.substr(0, path.find_last_of(L'\\') + 1));
    for (const wchar_t* key : kInterfaceKeys) CHECK(KeyExists(user.key, key));
    CHECK(MachineRegistration() == machine);
}

// Per user, unregistering leaves nothing of the user's registration, the
// type library's included, and nothing changed machine-wide.
void CheckGoneForUser(const std::string& machine) {
    ClassesKey user(HKEY_CURRENT_USER);
    REQUIRE(user.key);
    for (const ClassNames& c : kClasses) CheckClassGone(c, user.key);
    CHECK_FALSE(KeyExists(user.key, kTypeLibKey));
    for (const wchar_t* key : kInterfaceKeys) CHECK_FALSE(KeyExists(user.key, key));
    CHECK(MachineRegistration() == machine);
}
}  // namespace

TEST_CASE("DllInstall registers for the current user with \"user\", machine-wide without a command line") {
    RegistrationGuard guard;
    QuarnverModule dll;
    REQUIRE(reinterpret_cast<void*>(GetProcAddress(dll.Handle(), "DllInstall")) != nullptr);
    const std::wstring path = ModulePath(dll.Handle());
    const std::string machine = MachineRegistration();
    // Windows' rules for alternate views and predefined keys hold through every cycle below.
    RegistryViewRule rule(dll.Handle());
    REQUIRE((rule.open.Patched() && rule.create.Patched() && rule.close.Patched()));
    // Neither deletes in a view: RegDeleteKey and RegDeleteTree.
    for (const char* name : {"RegDeleteKeyW", "RegDeleteTreeW"})
        CHECK_FALSE(ImportPatch(dll.Handle(), "advapi32.dll", name, nullptr).Patched());

    REQUIRE(dll.Install(TRUE, L"user") == S_OK);
    CheckRegisteredForUser(path, machine);
    CHECK(dll.Install(FALSE, L"USER") == S_OK);
    CheckGoneForUser(machine);

    // Any other command line is refused and writes nothing.
    for (const wchar_t* line : {L"machine", L"user ", L"/user"}) {
        CAPTURE(WideToUtf8(line));
        CHECK(dll.Install(TRUE, line) == E_INVALIDARG);
        CHECK(MachineRegistration() == machine);
        for (const ClassNames& c : kClasses) CheckClassGone(c, ClassesKey(HKEY_CURRENT_USER).key);
    }

    // No command line: the machine-wide registration and unregistration.
    CHECK(dll.Install(TRUE, nullptr) == S_OK);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path);
    CHECK(dll.Install(FALSE, L"") == S_OK);
    for (const ClassNames& c : kClasses) CheckClassGone(c);
    CHECK(g_registryRulesBroken == 0);
    CHECK(g_registryViewCalls > 100);
}

namespace {
// Two rules of Windows' registry that Wine 8 does not follow, made for the
// library's RegOpenKeyExW and RegCreateKeyExW while a WindowsRegistry lives.
// - Merged: a key named below HKEY_CLASSES_ROOT is the current user's where
//   HKCU\Software\Classes has it, else the machine's (docs: "HKEY_CLASSES_ROOT
//   Key", "Merged View of HKEY_CLASSES_ROOT").
// - PerView: below HKCU\Software\Classes, CLSID and Interface are one key per bitness
//   (docs: "Registry Keys Affected by WOW64"); the 32-bit view's are in a scratch key.
enum class Rule { Merged, PerView };
Rule g_rule = Rule::Merged;
HKEY g_user = nullptr, g_machine = nullptr, g_view32 = nullptr;  // the classes keys, the 32-bit view's

// The key below which a call of the library that names `parent` lands.
HKEY Resolve(HKEY parent, const wchar_t* name, REGSAM access) {
    const std::wstring path = name ? name : L"", first = path.substr(0, path.find(L'\\'));
    if (g_rule == Rule::Merged)
        return parent != HKEY_CLASSES_ROOT ? parent : KeyExists(g_user, path) ? g_user : g_machine;
    const bool view32 = (access & KEY_WOW64_32KEY) || (sizeof(void*) == 4 && !(access & KEY_WOW64_64KEY));
    const bool perView = lstrcmpiW(first.c_str(), L"CLSID") == 0 || lstrcmpiW(first.c_str(), L"Interface") == 0;
    return view32 && perView && RegistryKeyName(parent) == RegistryKeyName(g_user) ? g_view32 : parent;
}
LSTATUS WINAPI ResolvedOpen(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
    return RegOpenKeyExW(Resolve(parent, name, access), name, options, access, key);
}
LSTATUS WINAPI ResolvedCreate(HKEY parent, LPCWSTR name, DWORD reserved, LPWSTR keyClass, DWORD options,
                              REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    return RegCreateKeyExW(Resolve(parent, name, access), name, reserved, keyClass, options, access, security, key,
                           disposition);
}
LSTATUS WINAPI ResolvedDelete(HKEY parent, LPCWSTR name, REGSAM access, DWORD reserved) {
    return RegDeleteKeyExW(Resolve(parent, name, access), name, access, reserved);
}

struct WindowsRegistry {
    WindowsRegistry(HMODULE module, Rule rule)
        : open(module, "advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&ResolvedOpen)),
          create(module, "advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&ResolvedCreate)),
          remove(module, "advapi32.dll", "RegDeleteKeyExW", reinterpret_cast<void*>(&ResolvedDelete)) {
        g_rule = rule;
        g_user = user.key, g_machine = machine.key, g_view32 = view32.Open();
    }
    ~WindowsRegistry() { RegCloseKey(g_view32); }
    ClassesKey user{HKEY_CURRENT_USER}, machine{HKEY_LOCAL_MACHINE};
    ScratchKey view32{L"UserClasses32"};
    ImportPatch open, create, remove;
};
}  // namespace

TEST_CASE("beside a per-user registration, machine-wide registration writes the machine's classes only") {
    RegistrationGuard guard;
    QuarnverModule dll;
    const std::wstring path = ModulePath(dll.Handle());
    REQUIRE(dll.Install(TRUE, L"user") == S_OK);
    const std::string user = ClassesRegistration(HKEY_CURRENT_USER);
    WindowsRegistry merged(dll.Handle(), Rule::Merged);
    REQUIRE((merged.open.Patched() && merged.create.Patched()));

    REQUIRE(dll.RegisterServer() == S_OK);
    CHECK(ClassesRegistration(HKEY_CURRENT_USER) == user);
    ClassesKey machine(HKEY_LOCAL_MACHINE);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path, machine.key);
    CHECK(ReadRegString(machine.key, kTypeLibPathKey, L"") == path);
    for (const wchar_t* key : kInterfaceKeys) CHECK(KeyExists(machine.key, key));
    CHECK(dll.UnregisterServer() == S_OK);
    CHECK(ClassesRegistration(HKEY_CURRENT_USER) == user);
    for (const ClassNames& c : kClasses) CheckClassGone(c, machine.key);
}

TEST_CASE("per user, unregistering one bitness keeps what the other still registers, in shared and separate views") {
    const std::wstring otherPlatform = std::wstring(L"Software\\Classes\\") + kTypeLibKey + L"\\1.0\\409\\" +
                                       (sizeof(void*) == 8 ? L"win32" : L"win64");
    const bool own32 = sizeof(void*) == 4;
    for (const bool separate : {false, true}) {  // Wine's shared views; Windows' separate ones
        CAPTURE(separate);
        RegistrationGuard guard;
        QuarnverModule dll;
        std::optional<WindowsRegistry> windows;
        if (separate) REQUIRE(windows.emplace(dll.Handle(), Rule::PerView).open.Patched());
        const std::string machine = MachineRegistration();
        ClassesKey user(HKEY_CURRENT_USER);
        // Whether the 32-bit (or the 64-bit) view has `key` below the user's classes.
        const auto exists = [&](bool view32, const std::wstring& key) {
            return KeyExists(separate && view32 ? g_view32 : user.key, key);
        };
        SetRegString(HKEY_CURRENT_USER, otherPlatform, nullptr, L"C:\\other\\quarnver.dll");  // the other bitness's
        REQUIRE(dll.Install(TRUE, L"user") == S_OK);
        for (const ClassNames& c : kClasses) {
            const std::wstring key = std::wstring(L"CLSID\\") + c.clsid;
            CHECK((exists(own32, key) && exists(!own32, key) == !separate));
        }
        for (const wchar_t* key : kInterfaceKeys) CHECK((exists(own32, key) && exists(!own32, key)));
        CHECK(dll.Install(FALSE, L"user") == S_OK);
        for (const ClassNames& c : kClasses) CHECK_FALSE(exists(own32, std::wstring(L"CLSID\\") + c.clsid));
        CHECK_FALSE(KeyExists(user.key, kTypeLibPathKey));
        CHECK(ReadRegString(user.key, std::wstring(kTypeLibKey) + L"\\1.0", L"") == L"QUARN 5 Common User Interface");
        for (const wchar_t* key : kInterfaceKeys) CHECK((exists(own32, key) == !separate && exists(!own32, key)));
        // Once the other bitness is gone too, nothing is left.
        DeleteTree(HKEY_CURRENT_USER, otherPlatform);
        CHECK(dll.Install(FALSE, L"user") == S_OK);
        CheckGoneForUser(machine);
        for (const wchar_t* key : kInterfaceKeys) CHECK_FALSE((exists(own32, key) || exists(!own32, key)));
    }
}

TEST_CASE("a caller's override of HKEY_LOCAL_MACHINE captures the machine-wide registration whole, and stays") {
    RegistrationGuard guard;
    QuarnverModule dll;
    const std::wstring path = ModulePath(dll.Handle());
    const std::string machine = MachineRegistration();
    ScratchKey capture(L"Capture");
    HKEY root = capture.Open();
    // The override as Windows documents it ("RegOverridePredefKey function"), not as Wine keeps it.
    RegistryViewRule rule(dll.Handle());
    rule.Override(HKEY_LOCAL_MACHINE, root);
    CHECK(dll.RegisterServer() == S_OK);
    CHECK(dll.Install(TRUE, L"user") == S_OK);  // into the user's own classes
    CHECK(g_registryRulesBroken == 0);
    // The mapping is the caller's: the library neither sets nor resets one.
    CHECK_FALSE(ImportPatch(dll.Handle(), "advapi32.dll", "RegOverridePredefKey", nullptr).Patched());
    ClassesKey captured(root);
    RegCloseKey(root);
    for (const ClassNames& c : kClasses) CheckClassRegistered(c, path, captured.key);
    CHECK(ReadRegString(captured.key, kTypeLibPathKey, L"") == path);
    for (const wchar_t* key : kInterfaceKeys) CHECK(KeyExists(captured.key, key));
    CHECK(MachineRegistration() == machine);
}

TEST_CASE("Wine's regsvr32 /n /i:user registers and unregisters for the current user only") {
    RegistrationGuard guard;
    std::wstring path;
    {
        QuarnverModule dll;
        path = ModulePath(dll.Handle());
    }
    const std::string regsvr32 = QUARN_SYSTEM_TOOLS_DIR "regsvr32.exe";
    const std::string quoted = "\"" + Utf8ToAnsi(WideToUtf8(path).c_str()) + "\"";
    const std::string machine = MachineRegistration();
    std::string output;
    CHECK(RunProcess(regsvr32 + " /s /n /i:user " + quoted, &output) == 0);
    CheckRegisteredForUser(path, machine);
    CHECK(RunProcess(regsvr32 + " /u /s /n /i:user " + quoted, &output) == 0);
    CheckGoneForUser(machine);
}
