// The one module object of the library: its module handle, the table of
// creatable classes, the library-wide lock count that decides unloading, and
// the clean-up to run at shutdown.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <atomic>
#include "server/registry_views.h"

using MakeInstanceFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** ppv);
using TermFn = void (*)(DWORD_PTR arg);

// One row of the class table; a row whose class id is null ends the table.
// The table is constant data: nothing in it changes while the library runs.
struct ClassEntry {
    const CLSID* pClassId;
    UINT nScriptResource;        // the REGISTRY script that registers the class
    IClassFactory* pClassObject; // lives as long as the module (ClassObject)
};

// The library's table of creatable classes. The server frame knows no class:
// the table is defined above it, where the library is put together
// (library/class_table.cpp).
const ClassEntry* ClassTable();

class ServerModule {
public:
    ServerModule() = default;
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    [[nodiscard]] HRESULT Init(const ClassEntry* classTable, HINSTANCE module);
    // Runs the termination list. While the process itself is terminating,
    // objects of other DLLs may already be gone: then nothing is released
    // into them and only our own memory is freed.
    [[nodiscard]] HRESULT Term(bool processTerminating);

    [[nodiscard]] HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
    // Registration below the classes key `classes` (server/classes_key.h):
    // every class of the table and then the type library; unregistering
    // takes out the classes and leaves the type library.
    [[nodiscard]] HRESULT RegisterServer(const ClassesViews& classes);
    [[nodiscard]] HRESULT UnregisterServer(const ClassesViews& classes);

    LONG Lock() { return InterlockedIncrement(&m_nLockCount); }
    LONG Unlock() { return InterlockedDecrement(&m_nLockCount); }
    LONG GetLockCount() const { return m_nLockCount; }

    [[nodiscard]] HRESULT AddTermFunction(TermFn fn, DWORD_PTR arg);
    [[nodiscard]] HRESULT UpdateRegistryFromResource(UINT resourceId, bool doRegister, const ClassesViews& classes);

    // Loads the type library from the module file (or the ".tlb" beside it);
    // both outs are null on failure, owned by the caller on success.
    [[nodiscard]] HRESULT LoadTypeLibrary(BSTR* path, ITypeLib** typeLib);
    // Writes the type library's registration below the classes key
    // `classes`: the keys the platform's RegisterTypeLib writes below
    // HKEY_CLASSES_ROOT, its Interface keys in both registry views as
    // RegisterTypeLib does. TYPE_E_REGISTRYACCESS when a key or value cannot
    // be written; this module's part is then taken out again.
    [[nodiscard]] HRESULT RegisterTypeLibrary(const ClassesViews& classes);
    // Takes this module's part of the type library's registration out of the
    // classes key `classes`: its platform key, and the keys of the library's
    // version and its Interface keys once nothing uses them any longer.
    [[nodiscard]] HRESULT UnregisterTypeLibrary(const ClassesViews& classes);

    HINSTANCE ModuleHandle() const { return m_hModule; }

private:
    struct TermEntry {
        TermFn pfnTerm;
        DWORD_PTR dwArg;
        TermEntry* pNext;
    };

    HINSTANCE m_hModule = nullptr;
    const ClassEntry* m_pClassTable = nullptr;
    volatile LONG m_nLockCount = 0;
    std::atomic<TermEntry*> m_pTermList{nullptr};  // newest first
};

ServerModule& Module();
