// Late binding, name lookup, object creation and registration of
// quarnver.dll, each measured side by side with the platform's own way of
// doing the same work in one run.
#include <windows.h>
#include <objbase.h>
#include <wincred.h>
#include <cstdio>
#include <initializer_list>
#include <vector>
#include "bench_clock.h"
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "quarnver_h.h"
#include "standin_control.h"

namespace {
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using ServerFn = HRESULT(STDAPICALLTYPE*)();

// A trivial in-process object: the cheapest thing creation can cost.
class PlainObject final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        *ppv = InlineIsEqualGUID(iid, IID_IUnknown) ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

private:
    ULONG m_refs = 1;
};

void CallByName(IDispatch* dispatch, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    UniqueVariant result;
    dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.Receive(), nullptr,
                     nullptr);
}

// Called through a volatile pointer so the compiler cannot fold the object away.
IUnknown* MakePlainObject() { return new PlainObject; }
IUnknown* (*volatile g_makePlainObject)() = MakePlainObject;

// Registry values read the way any reader must: open the key once, query
// each value, close.
void ReadValues(HKEY root, const wchar_t* path, std::initializer_list<const wchar_t*> names) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    for (const wchar_t* name : names) {
        BYTE data[512];
        DWORD size = sizeof data;
        RegQueryValueExW(key, name, nullptr, nullptr, data, &size);
    }
    RegCloseKey(key);
}

const wchar_t kLogonKey[] = L"Software\\Velmora\\QUARN 5\\Logon";
const wchar_t kPolicyKey[] = L"Software\\Policies\\Velmora\\QUARN 5\\Logon";
const wchar_t kCredentialTarget[] = L"Velmora/QUARN 5/Logon";

// Credential Manager required and the translation server fixed by the
// user's policies, with a credential to read, for the time of a benchmark;
// the Logon key's plain-text password, which the first new object moves into
// the credential, is put back after.
class CredentialPolicyScope {
public:
    CredentialPolicyScope() {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, kLogonKey, L"Password", RRF_RT_REG_SZ, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            m_password.resize(size / sizeof(wchar_t) + 1);
            m_hadPassword = RegGetValueW(HKEY_CURRENT_USER, kLogonKey, L"Password", RRF_RT_REG_SZ, nullptr,
                                         m_password.data(), &size) == ERROR_SUCCESS;
        }
        const DWORD on = 1;
        RegSetKeyValueW(HKEY_CURRENT_USER, kPolicyKey, L"UseCredentialManager", REG_DWORD, &on, sizeof on);
        const wchar_t server[] = L"BENCH-SERVER";
        RegSetKeyValueW(HKEY_CURRENT_USER, kPolicyKey, L"Server", REG_SZ, server, sizeof server);
        wchar_t password[] = L"bench password";
        CREDENTIALW credential = {};
        credential.Type = CRED_TYPE_GENERIC;
        credential.TargetName = const_cast<LPWSTR>(kCredentialTarget);
        credential.CredentialBlob = reinterpret_cast<LPBYTE>(password);
        credential.CredentialBlobSize = sizeof password - sizeof(wchar_t);
        credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
        credential.UserName = const_cast<LPWSTR>(L"bench");
        CredWriteW(&credential, 0);
    }
    ~CredentialPolicyScope() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Velmora");
        CredDeleteW(kCredentialTarget, CRED_TYPE_GENERIC, 0);
        if (m_hadPassword)
            RegSetKeyValueW(HKEY_CURRENT_USER, kLogonKey, L"Password", REG_SZ, m_password.data(),
                            static_cast<DWORD>((wcslen(m_password.data()) + 1) * sizeof(wchar_t)));
    }

private:
    bool m_hadPassword = false;
    std::vector<wchar_t> m_password;
};

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "bench_com: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 1;
}
}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE dll = LoadLibraryA(QUARNVER_DLL);
    if (!dll) return Fail("loading quarnver.dll", HRESULT_FROM_WIN32(GetLastError()));
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto registerServer = reinterpret_cast<ServerFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<ServerFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
    HRESULT hr = registerServer();
    if (FAILED(hr)) return Fail("DllRegisterServer", hr);

    int status = 0;
    {
        // A logged-on object: the translation server's class object comes from
        // a stand-in registered in this process; Level 8 logs on silently and
        // remembers nothing.
        InProcessStandInServer server;
        ComPtr<IClassFactory> logonFactory;
        getClassObject(CLSID_Quarn5Logon, IID_IClassFactory, logonFactory.ReceiveVoid());
        ComPtr<IQuarn5Logon> logon;
        logonFactory->CreateInstance(nullptr, IID_IQuarn5Logon, logon.ReceiveVoid());
        logon->put_Level(8);
        VARIANT missing;
        VariantInit(&missing);
        V_VT(&missing) = VT_ERROR;
        V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
        UniqueBstr client(SysAllocString(L"bench"));
        LONG confirmed = 0;
        hr = logon->Initialize(client.Get(), missing, missing, missing, &confirmed);
        if (FAILED(hr)) return Fail("Initialize", hr);

        ComPtr<IDispatch> ours;
        hr = logon.As(&ours);
        if (FAILED(hr)) return Fail("QueryInterface(IDispatch)", hr);
        ComPtr<ITypeInfo> typeInfo;
        ours->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo.Receive());
        ComPtr<IUnknown> standardUnknown;
        hr = CreateStdDispatch(nullptr, logon.Get(), typeInfo.Get(), standardUnknown.Receive());
        if (FAILED(hr)) return Fail("CreateStdDispatch", hr);
        ComPtr<IDispatch> standard;
        hr = standardUnknown.As(&standard);
        if (FAILED(hr)) return Fail("QueryInterface(IDispatch) of the standard dispatch", hr);

        const long calls = 20000;
        BenchTable late("Late-bound calls: GetIDsOfNames + Invoke");
        late.Baseline("Level get, direct vtable call", calls, [&] {
            LONG level;
            logon->get_Level(&level);
        });
        late.Compare("Level get, our IDispatch", calls, [&] { CallByName(ours.Get(), L"Level"); });
        late.Compare("Level get, CreateStdDispatch", calls, [&] { CallByName(standard.Get(), L"Level"); });
        late.Baseline("Server get, direct vtable call", calls, [&] {
            UniqueBstr text;
            logon->get_Server(text.Receive());
        });
        late.Compare("Server get, our IDispatch", calls, [&] { CallByName(ours.Get(), L"Server"); });
        late.Compare("Server get, CreateStdDispatch", calls, [&] { CallByName(standard.Get(), L"Server"); });
        late.Print();

        BenchTable names("Name lookup: one member name");
        LPOLESTR name[] = {const_cast<LPOLESTR>(L"GetQuarnCtlDictDocument")};
        DISPID id = 0;
        names.Baseline("ITypeInfo::GetIDsOfNames", calls * 5, [&] { typeInfo->GetIDsOfNames(name, 1, &id); });
        names.Compare("our name cache (IDispatch::GetIDsOfNames)", calls * 5,
                      [&] { ours->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id); });
        names.Print();
    }

    {
        const long objects = 5000;
        BenchTable creation("Object creation and release");
        creation.Baseline("plain in-process object (new + Release)", objects, [] { g_makePlainObject()->Release(); });
        for (const auto& row : {std::make_pair("Quarn5Logon", &CLSID_Quarn5Logon),
                                std::make_pair("Quarn5About", &CLSID_Quarn5About)}) {
            creation.Compare(std::string(row.first) + ": DllGetClassObject + CreateInstance", objects, [&] {
                ComPtr<IClassFactory> factory;
                getClassObject(*row.second, IID_IClassFactory, factory.ReceiveVoid());
                ComPtr<IUnknown> object;
                factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid());
            });
            creation.Compare(std::string(row.first) + ": CoCreateInstance", objects, [&] {
                ComPtr<IUnknown> object;
                CoCreateInstance(*row.second, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.ReceiveVoid());
            });
        }
        creation.Print();
    }

    {
        // The floor: what any object that honours the policies must read, the
        // four policy values in both roots, the four remembered values and the
        // credential.
        CredentialPolicyScope policy;
        const long objects = 2000;
        BenchTable vault("Logon object creation with policies set (Credential Manager, a fixed server)");
        vault.Baseline("floor: policy and Logon values read, CredReadW", objects, [] {
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
                ReadValues(root, kPolicyKey, {L"DisablePasswordSaving", L"UseCredentialManager", L"Server",
                                              L"AllowServerChange"});
            ReadValues(HKEY_CURRENT_USER, kLogonKey, {L"User", L"Password", L"Server", L"Level"});
            PCREDENTIALW credential = nullptr;
            if (CredReadW(kCredentialTarget, CRED_TYPE_GENERIC, 0, &credential)) CredFree(credential);
        });
        vault.Compare("Quarn5Logon: DllGetClassObject + CreateInstance", objects, [&] {
            ComPtr<IClassFactory> factory;
            getClassObject(CLSID_Quarn5Logon, IID_IClassFactory, factory.ReceiveVoid());
            ComPtr<IUnknown> object;
            factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid());
        });
        vault.Print();
    }

    {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(dll, path, MAX_PATH);
        const long rounds = 30;
        BenchTable registration("Registration round trip");
        registration.Baseline("LoadTypeLib + RegisterTypeLib alone", rounds, [&] {
            ComPtr<ITypeLib> lib;
            if (SUCCEEDED(LoadTypeLib(path, lib.Receive()))) RegisterTypeLib(lib.Get(), path, nullptr);
        });
        registration.Compare("DllRegisterServer + DllUnregisterServer", rounds, [&] {
            if (FAILED(registerServer()) || FAILED(unregisterServer())) status = 1;
        });
        registration.Print();
    }

    unregisterServer();
    CoUninitialize();
    return status;
}
