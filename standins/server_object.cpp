#include "server_object.h"
#include <new>
#include <string>
#include "common/bstr.h"
#include "standin_channel.h"
#include "standin_module.h"
#include "standin_type_info.h"
#include "standins_h.h"

namespace {

// One server object: records every Connect and remembers the client and user
// of the last successful one.
class ServerObject final : public StandInDispatch<IQuarnSvrDirections> {
public:
    ServerObject() : m_serial(NewStandInSerial()) {
        StandInModuleObjectCreated();
        AdjustStandInCounter(StandInKindName(StandInKind::Server), 1);
    }
    ~ServerObject() {
        AdjustStandInCounter(StandInKindName(StandInKind::Server), -1);
        StandInModuleObjectDestroyed();
    }
    ServerObject(const ServerObject&) = delete;
    ServerObject& operator=(const ServerObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IQuarnSvrDirections) {
            *object = static_cast<IQuarnSvrDirections*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Connect(BSTR client, BSTR user, VARIANT reserved) override {
        StandInModuleNoteActivity();
        StandInConnectRecord record;
        record.kind = StandInKind::Server;
        record.objectSerial = m_serial;
        record.processId = GetCurrentProcessId();
        record.arguments.push_back(DescribeConnectBstr(client));
        record.arguments.push_back(DescribeConnectBstr(user));
        record.arguments.push_back(DescribeConnectVariant(reserved));
        record.result = ConfiguredResult(StandInCall::Connect, StandInKind::Server);
        if (SUCCEEDED(record.result)) {
            m_client = record.arguments[0].text;
            m_user = record.arguments[1].text;
        }
        AppendConnectRecord(record);
        return record.result;
    }
    HRESULT STDMETHODCALLTYPE get_Serial(long* value) override {
        if (!value) return E_POINTER;
        *value = m_serial;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Client(BSTR* value) override { return CopyText(m_client, value); }
    HRESULT STDMETHODCALLTYPE get_User(BSTR* value) override { return CopyText(m_user, value); }

private:
    static HRESULT CopyText(const std::wstring& text, BSTR* value) {
        if (!value) return E_POINTER;
        *value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }

    volatile LONG m_references = 0;
    const long m_serial;
    std::wstring m_client;
    std::wstring m_user;
};

}  // namespace

ServerClassFactory& ServerClassFactory::Instance() {
    static ServerClassFactory factory;
    return factory;
}

HRESULT ServerClassFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG ServerClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

ULONG ServerClassFactory::Release() {
    return static_cast<ULONG>(InterlockedDecrement(&m_references));
}

HRESULT ServerClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    StandInModuleNoteActivity();
    if (outer) return CLASS_E_NOAGGREGATION;
    const HRESULT configured = ConfiguredResult(StandInCall::CreateInstance, StandInKind::Server);
    if (FAILED(configured)) return configured;
    ServerObject* server = new (std::nothrow) ServerObject();
    if (!server) return E_OUTOFMEMORY;
    server->AddRef();
    const HRESULT hr = server->QueryInterface(iid, object);
    server->Release();
    return hr;
}

HRESULT ServerClassFactory::LockServer(BOOL lock) {
    if (lock) {
        StandInModuleLock();
    } else {
        StandInModuleUnlock();
    }
    AdjustStandInCounter(kLockBalanceCounter, lock ? 1 : -1);
    return S_OK;
}

long ServerClassFactory::References() const {
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_references), 0, 0);
}
