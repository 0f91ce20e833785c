#include "server/server_module.h"
#include <new>
#include "common/hresult.h"
#include "server/registration_script.h"

ServerModule& Module() {
    static ServerModule module;
    return module;
}

HRESULT ServerModule::Init(ClassEntry* classTable, HINSTANCE module) {
    m_pClassTable = classTable;
    m_hModule = module;
    m_nLockCount = 0;
    m_pTermList = nullptr;
    InitializeCriticalSection(&m_csTypeInfo);
    InitializeCriticalSection(&m_csClassObjects);
    m_bInitialized = true;
    return S_OK;
}

HRESULT ServerModule::Term(bool processTerminating) {
    if (!m_bInitialized) return S_OK;
    for (ClassEntry* row = m_pClassTable; row && row->pClassId; ++row) {
        IUnknown* classObject = row->pClassObject;
        row->pClassObject = nullptr;
        if (classObject && !processTerminating) classObject->Release();
    }
    DeleteCriticalSection(&m_csTypeInfo);
    DeleteCriticalSection(&m_csClassObjects);
    while (m_pTermList) {
        TermEntry* entry = m_pTermList;
        m_pTermList = entry->pNext;
        // The clean-up functions release interfaces of the platform's DLLs.
        if (!processTerminating) entry->pfnTerm(entry->dwArg);
        delete entry;
    }
    m_bInitialized = false;
    return S_OK;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;
    for (ClassEntry* row = m_pClassTable; row && row->pClassId; ++row) {
        if (!InlineIsEqualGUID(*row->pClassId, clsid)) continue;
        if (!row->pClassObject) {
            EnterCriticalSection(&m_csClassObjects);
            if (!row->pClassObject)
                hr = row->pfnMakeClassObject(row->pfnMakeInstance, IID_IUnknown,
                                             reinterpret_cast<void**>(&row->pClassObject));
            LeaveCriticalSection(&m_csClassObjects);
        }
        if (row->pClassObject) hr = row->pClassObject->QueryInterface(iid, ppv);
        break;
    }
    if (!*ppv && hr == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

HRESULT ServerModule::RegisterServer() {
    for (ClassEntry* row = m_pClassTable; row && row->pClassId; ++row)
        if (row->pfnRegister) QUARN_RETURN_IF_FAILED(row->pfnRegister(TRUE));
    return RegisterTypeLibrary();
}

HRESULT ServerModule::UnregisterServer() {
    for (ClassEntry* row = m_pClassTable; row && row->pClassId; ++row)
        if (row->pfnRegister) row->pfnRegister(FALSE);
    return S_OK;
}

HRESULT ServerModule::AddTermFunction(TermFn fn, DWORD_PTR arg) {
    TermEntry* entry = new (std::nothrow) TermEntry{fn, arg, nullptr};
    if (!entry) return E_OUTOFMEMORY;
    EnterCriticalSection(&m_csTypeInfo);
    entry->pNext = m_pTermList;
    m_pTermList = entry;
    LeaveCriticalSection(&m_csTypeInfo);
    return S_OK;
}

HRESULT ServerModule::UpdateRegistryFromResource(UINT resourceId, BOOL doRegister) {
    return ::UpdateRegistryFromResource(m_hModule, resourceId, doRegister);
}
