// Loads the built quarnver.dll into the test process and reaches its exports.
#pragma once
#include <windows.h>
#include <objbase.h>
#include "common/com_ptr.h"
#include "quarnver_h.h"

class QuarnverModule {
public:
    QuarnverModule() : m_module(LoadLibraryA(QUARNVER_DLL)) {}
    ~QuarnverModule() { if (m_module) FreeLibrary(m_module); }
    QuarnverModule(const QuarnverModule&) = delete;
    QuarnverModule& operator=(const QuarnverModule&) = delete;

    HMODULE Handle() const { return m_module; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
        return Call<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, ppv);
    }
    HRESULT CanUnloadNow() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT RegisterServer() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
    HRESULT Install(BOOL install, const wchar_t* commandLine) const {
        return Call<HRESULT(STDAPICALLTYPE*)(BOOL, const wchar_t*)>("DllInstall")(install, commandLine);
    }

    ComPtr<IClassFactory> Factory(REFCLSID clsid) const {
        ComPtr<IClassFactory> factory;
        GetClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid());
        return factory;
    }
    template <typename I>
    ComPtr<I> Create(REFCLSID clsid) const {
        ComPtr<I> object;
        if (ComPtr<IClassFactory> factory = Factory(clsid))
            factory->CreateInstance(nullptr, __uuidof(I), object.ReceiveVoid());
        return object;
    }

private:
    template <typename Fn>
    Fn Call(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }
    HMODULE m_module;
};
