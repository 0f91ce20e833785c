// Points one import-address-table entry of a loaded module at a replacement
// for the lifetime of the object, and puts the original back afterwards.
#pragma once
#include <windows.h>

class ImportPatch {
public:
    // dll and function as the module imports them, e.g. "ole32.dll",
    // "CoGetClassObject". Patched() is false when the import was not found.
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

// Windows' rules for registry views and predefined keys, which Wine does not
// keep, made for a module's registry imports while the object lives.
// - "Accessing an Alternate Registry View": Windows does not remember a
//   handle's view, so every key created, opened or deleted below a key opened
//   with KEY_WOW64_32KEY or KEY_WOW64_64KEY must name the same flag; RegDeleteKey
//   and RegGetValue with a subkey cannot. Each key opened is followed with its
//   view, and a call below it that does not name the view is refused
//   (ERROR_INVALID_PARAMETER) and counted.
// - "RegOpenKeyEx function": an empty subkey of a predefined key gives back that
//   predefined key itself; closing a predefined key is counted too.
class RegistryViewRule {
public:
    explicit RegistryViewRule(HMODULE module);
    ~RegistryViewRule();
    RegistryViewRule(const RegistryViewRule&) = delete;
    RegistryViewRule& operator=(const RegistryViewRule&) = delete;
    bool Patched() const { return m_open.Patched() && m_create.Patched() && m_close.Patched(); }
    // The calls that broke a rule, and how many calls named a view at all.
    int Broken() const;
    int Followed() const;

private:
    ImportPatch m_open, m_create, m_deleteEx, m_delete, m_getValue, m_close;
};
