#include "server/server_module.h"
#include <new>
#include "common/hresult.h"
#include "server/registration_script.h"

ServerModule& Module() {
    static ServerModule module;
    return module;
}

HRESULT ServerModule::Init(const ClassEntry* classTable, HINSTANCE module) {
    m_pClassTable = classTable;
    m_hModule = module;
    m_nLockCount = 0;
    m_pTermList = nullptr;
    return S_OK;
}

HRESULT ServerModule::Term(bool processTerminating) {
    TermEntry* entry = m_pTermList.exchange(nullptr);
    while (entry) {
        TermEntry* next = entry->pNext;
        // The clean-up functions release interfaces of the platform's DLLs.
        if (!processTerminating) entry->pfnTerm(entry->dwArg);
        delete entry;
        entry = next;
    }
    return S_OK;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const ClassEntry* row = m_pClassTable; row && row->pClassId; ++row)
        if (InlineIsEqualGUID(*row->pClassId, clsid)) return row->pClassObject->QueryInterface(iid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerModule::RegisterServer(const ClassesViews& classes) {
    for (const ClassEntry* row = m_pClassTable; row && row->pClassId; ++row)
        QUARN_RETURN_IF_FAILED(UpdateRegistryFromResource(row->nScriptResource, true, classes));
    return RegisterTypeLibrary(classes);
}

HRESULT ServerModule::UnregisterServer(const ClassesViews& classes) {
    for (const ClassEntry* row = m_pClassTable; row && row->pClassId; ++row)
        // Each class is removed on its own: one that cannot be does not keep
        // the others registered.
        (void)UpdateRegistryFromResource(row->nScriptResource, false, classes);
    return S_OK;
}

HRESULT ServerModule::AddTermFunction(TermFn fn, DWORD_PTR arg) {
    TermEntry* entry = new (std::nothrow) TermEntry{fn, arg, nullptr};
    if (!entry) return E_OUTOFMEMORY;
    entry->pNext = m_pTermList.load();
    while (!m_pTermList.compare_exchange_weak(entry->pNext, entry)) {
    }
    return S_OK;
}

HRESULT ServerModule::UpdateRegistryFromResource(UINT resourceId, bool doRegister, const ClassesViews& classes) {
    return ::UpdateRegistryFromResource(m_hModule, resourceId, doRegister, classes);
}
