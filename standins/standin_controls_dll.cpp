// quarn_standin_controls.dll: the in-process server of the three stand-in
// controls, registered with the threading model "Apartment".
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include "control_objects.h"
#include "standin_channel.h"
#include "standin_module.h"
#include "standin_registration.h"
#include "standin_type_info.h"
#include "standins_h.h"

namespace {

// The class object of one control kind; static, so its references do not
// keep the DLL loaded (LockServer does).
class ControlClassFactory : public IClassFactory {
public:
    explicit ControlClassFactory(StandInKind kind) : m_kind(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        const HRESULT configured = ConfiguredResult(StandInCall::CreateInstance, m_kind);
        if (FAILED(configured)) return configured;
        return CreateStandInControl(m_kind, iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            StandInModuleLock();
        } else {
            StandInModuleUnlock();
        }
        return S_OK;
    }

private:
    const StandInKind m_kind;
};

ControlClassFactory g_directions(StandInKind::CtlDirections);
ControlClassFactory g_document(StandInKind::CtlDocument);
ControlClassFactory g_dictDocument(StandInKind::CtlDictDocument);

struct ClassEntry {
    const CLSID* clsid;
    ControlClassFactory* factory;
    const wchar_t* description;
};

const ClassEntry kClasses[] = {
    {&CLSID_QuarnCtlDirections, &g_directions, L"QuarnCtlDirections stand-in"},
    {&CLSID_QuarnCtlDocument, &g_document, L"QuarnCtlDocument stand-in"},
    {&CLSID_QuarnCtlDictDocument, &g_dictDocument,
     L"QuarnCtlDictDocument stand-in"},
};

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    // At process end other DLLs may already be gone; only a real unload frees.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) FreeStandInTypeInfo();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : kClasses) {
        if (clsid == *entry.clsid) return entry.factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return StandInModuleIdle() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::wstring path = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (path.empty()) return SELFREG_E_CLASS;
    for (const ClassEntry& entry : kClasses) {
        if (FAILED(RegisterStandInClass(*entry.clsid, entry.description, L"InprocServer32", path, L"Apartment"))) {
            return SELFREG_E_CLASS;
        }
    }
    return FAILED(RegisterStandInTypeLib(path)) ? SELFREG_E_TYPELIB : S_OK;
}

STDAPI DllUnregisterServer() {
    HRESULT hr = S_OK;
    for (const ClassEntry& entry : kClasses) {
        if (FAILED(UnregisterStandInClass(*entry.clsid))) hr = SELFREG_E_CLASS;
    }
    if (FAILED(UnregisterStandInTypeLib(CLSID_QuarnSvrDirections, L"LocalServer32"))) hr = SELFREG_E_TYPELIB;
    RemoveStandInChannel();
    return hr;
}
