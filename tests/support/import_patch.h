// Points one import-address-table entry of a loaded module at a replacement
// for the lifetime of the object, and puts the original back afterwards.
#pragma once
#include <windows.h>
#include <memory>
#include <vector>

class ImportPatch {
public:
    // dll and function as the module imports them, e.g. "ole32.dll",
    // "CoGetClassObject". Patched() is false when the import was not found,
    // or module is null.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Patched() const { return m_slot != nullptr; }
    void* Original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

// The registry as a user without write access to one root sees it: while the
// object lives, every request of the module to open or create a key at or
// below root with any write right is refused with ERROR_ACCESS_DENIED, as a
// standard user's requests below HKEY_LOCAL_MACHINE are. Read access passes.
// Covers the module's RegOpenKeyEx and RegCreateKeyEx imports, narrow and
// wide. One such view at a time.
class WriteRefusingRegistry {
public:
    WriteRefusingRegistry(HMODULE module, HKEY root);
    ~WriteRefusingRegistry();
    WriteRefusingRegistry(const WriteRefusingRegistry&) = delete;
    WriteRefusingRegistry& operator=(const WriteRefusingRegistry&) = delete;

    // Some import that opens or creates keys was found.
    bool Patched() const;

private:
    ImportPatch m_openA;
    ImportPatch m_openW;
    ImportPatch m_createA;
    ImportPatch m_createW;
};

// Makes one allocation of a loaded module fail: while the object lives, the
// module's next malloc on the thread given to FailNextOn returns null, so
// operator new in the module throws std::bad_alloc. Only that one fails, so
// that the throw itself finds the memory it needs.
class AllocationFailure {
public:
    explicit AllocationFailure(HMODULE module);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;
    bool Patched() const { return m_patch.Patched(); }
    void FailNextOn(DWORD thread);
    // True once the armed allocation has been refused.
    bool Happened() const;

private:
    ImportPatch m_patch;
};

// Put over a module's GetProcAddress import: the awareness queries answer as a host of awareness
// g_answeredDpiAwareness (a documented context) would, every other name as the platform does.
extern DPI_AWARENESS_CONTEXT g_answeredDpiAwareness;
FARPROC WINAPI AnsweringGetProcAddress(HMODULE module, LPCSTR name);

// Rules of Windows that Wine 8 does not follow, put over a module's imports
// while the object lives. Utf8Process: the process's ANSI code page is UTF-8
// ("Use UTF-8 code pages in Windows apps"): GetACP answers CP_UTF8 and CP_ACP
// converts as UTF-8. Utf8System: the system-wide option too: GetLocaleInfoW
// answers CP_UTF8 for the system's LOCALE_IDEFAULTANSICODEPAGE and the real
// code page for LOCALE_IUSEUTF8LEGACYACP. FileNames: no long-path opt-in
// ("Naming Files, Paths, and Namespaces", "FindFirstFileW"): CreateFileW and
// FindFirstFileW refuse paths of MAX_PATH characters or more not in the "\\?\"
// form, and a pattern "*.acr" also finds "x.acrbak" (short name X~1.ACR).
class WindowsRules {
public:
    enum Rule { AsWine, Utf8Process, Utf8System, FileNames };
    WindowsRules(HMODULE module, Rule rule);
    ~WindowsRules();
    bool Patched() const;  // every import the rule needs was found

private:
    std::vector<std::unique_ptr<ImportPatch>> m_patches;
};

// Windows' rules that Wine does not keep, for a module's registry imports while the object lives: each
// key opened, created or deleted below a key opened with a KEY_WOW64_* flag names that flag, which
// RegGetValue with a subkey cannot ("Accessing an Alternate Registry View"); an empty subkey of a
// predefined key gives back that key, never to be closed ("RegOpenKeyEx function"). Calls that break
// one are refused and counted in g_registryRulesBroken; g_registryViewCalls counts those below a view.
extern int g_registryRulesBroken, g_registryViewCalls;
struct RegistryViewRule {
    explicit RegistryViewRule(HMODULE module);
    // A caller's RegOverridePredefKey: every call naming `predefined`, in any view, reaches `key`. The
    // empty subkey "refreshes the predefined key" ("RegOpenKeyEx function"); what that does to an
    // override is not documented, so here the refresh ends it.
    void Override(HKEY predefined, HKEY key);
    ImportPatch open, create, deleteEx, getValue, close;
};
