#include "control_objects.h"
#include <initializer_list>
#include <new>
#include <string>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "standin_channel.h"
#include "standin_module.h"
#include "standin_type_info.h"
#include "standins_h.h"

namespace {

// Everything the three controls share; Derived adds its own Connect, which
// calls ConnectWith with the arguments in parameter order.
template <typename Itf, StandInKind Kind>
class ControlObject : public StandInDispatch<Itf>, public ISupportErrorInfo {
public:
    ControlObject() : m_serial(NewStandInSerial()) {
        StandInModuleObjectCreated();
        AdjustStandInCounter(StandInKindName(Kind), 1);
    }
    virtual ~ControlObject() {
        m_server.Reset();
        AdjustStandInCounter(StandInKindName(Kind), -1);
        StandInModuleObjectDestroyed();
    }
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Itf)) {
            *object = static_cast<Itf*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Itf) ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_Serial(long* value) override {
        if (!value) return E_POINTER;
        *value = m_serial;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Client(BSTR* value) override {
        if (!value) return E_POINTER;
        *value = SysAllocStringLen(m_client.data(), static_cast<UINT>(m_client.size()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_Server(IDispatch** value) override {
        if (!value) return E_POINTER;
        m_server.CopyTo(value);
        return S_OK;
    }

protected:
    HRESULT ConnectWith(BSTR client, std::initializer_list<const VARIANT*> variants, const VARIANT& server) {
        StandInModuleNoteActivity();
        StandInConnectRecord record;
        record.kind = Kind;
        record.objectSerial = m_serial;
        record.processId = GetCurrentProcessId();
        record.arguments.push_back(DescribeConnectBstr(client));
        for (const VARIANT* v : variants) record.arguments.push_back(DescribeConnectVariant(*v));
        record.result = ConfiguredResult(StandInCall::Connect, Kind);
        if (SUCCEEDED(record.result)) {
            m_client = record.arguments[0].text;
            m_server = HeldServer(server);
        }
        AppendConnectRecord(record);
        if (FAILED(record.result)) SetConnectError();
        return record.result;
    }

private:
    // The object in the server argument, as the control keeps it; null when
    // the argument holds no object.
    static ComPtr<IDispatch> HeldServer(const VARIANT& server) {
        UniqueVariant plain;
        ComPtr<IDispatch> held;
        if (FAILED(VariantCopyInd(plain.Get(), const_cast<VARIANT*>(&server)))) return held;
        if (V_VT(plain.Get()) == VT_DISPATCH) {
            held = ComPtr<IDispatch>(V_DISPATCH(plain.Get()));
        } else if (V_VT(plain.Get()) == VT_UNKNOWN && V_UNKNOWN(plain.Get())) {
            V_UNKNOWN(plain.Get())->QueryInterface(IID_IDispatch, held.ReceiveVoid());
        }
        return held;
    }

    static void SetConnectError() {
        ComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.Receive()))) return;
        create->SetGUID(__uuidof(Itf));
        std::wstring source = StandInKindName(Kind);
        std::wstring description = L"The stand-in refused Connect as it was told to.";
        create->SetSource(&source[0]);
        create->SetDescription(&description[0]);
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.ReceiveVoid()))) SetErrorInfo(0, info.Get());
    }

    volatile LONG m_references = 0;
    const long m_serial;
    std::wstring m_client;
    ComPtr<IDispatch> m_server;
};

class DirectionsControl final : public ControlObject<IQuarnCtlDirections, StandInKind::CtlDirections> {
public:
    HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT server) override {
        return ConnectWith(client, {&server}, server);
    }
};

class DocumentControl final : public ControlObject<IQuarnCtlDocument, StandInKind::CtlDocument> {
public:
    HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT reserved, VARIANT server) override {
        return ConnectWith(client, {&reserved, &server}, server);
    }
};

class DictDocumentControl final : public ControlObject<IQuarnCtlDictDocument, StandInKind::CtlDictDocument> {
public:
    HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT reserved1, VARIANT reserved2, VARIANT server) override {
        return ConnectWith(client, {&reserved1, &reserved2, &server}, server);
    }
};

template <typename Control>
HRESULT CreateAndQuery(REFIID iid, void** object) {
    Control* control = new (std::nothrow) Control();
    if (!control) return E_OUTOFMEMORY;
    control->AddRef();
    const HRESULT hr = control->QueryInterface(iid, object);
    control->Release();
    return hr;
}

}  // namespace

HRESULT CreateStandInControl(StandInKind kind, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    switch (kind) {
    case StandInKind::CtlDirections: return CreateAndQuery<DirectionsControl>(iid, object);
    case StandInKind::CtlDocument: return CreateAndQuery<DocumentControl>(iid, object);
    case StandInKind::CtlDictDocument: return CreateAndQuery<DictDocumentControl>(iid, object);
    case StandInKind::Server: break;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
