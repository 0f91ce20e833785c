#include "recording_server.h"
#include <functional>
#include "common/com_ptr.h"

void Recorder::Reset() { *this = Recorder(); }

Recorder& Recorded() {
    static Recorder recorder;
    return recorder;
}

namespace {
std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// IDispatch that answers nothing; the library calls only Connect.
template <typename I>
class NoDispatch : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

void RecordConnect(const wchar_t* kind, IUnknown* self, BSTR client, const BSTR* user,
                   std::initializer_list<const VARIANT*> arguments) {
    ConnectRecord record;
    record.kind = kind;
    record.self = self;
    record.clientIsNull = client == nullptr;
    record.client = Text(client);
    if (user) {
        record.userIsNull = *user == nullptr;
        record.user = Text(*user);
    }
    for (const VARIANT* v : arguments) {
        record.argumentTypes.push_back(V_VT(v));
        record.argumentErrors.push_back(V_VT(v) == VT_ERROR ? V_ERROR(v) : 0);
        record.argumentObjects.push_back(V_VT(v) == VT_DISPATCH ? V_DISPATCH(v) : nullptr);
    }
    Recorded().connects.push_back(record);
}

class RecordingServerObject final : public NoDispatch<IQuarnSvrDirections> {
public:
    RecordingServerObject() { ++Recorded().liveServers; }
    ~RecordingServerObject() { --Recorded().liveServers; }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IQuarnSvrDirections)) {
            *ppv = static_cast<IQuarnSvrDirections*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = --m_refs;
        if (count == 0) delete this;
        return count;
    }
    STDMETHODIMP Connect(BSTR client, BSTR user, VARIANT reserved) override {
        RecordConnect(L"server", this, client, &user, {&reserved});
        if (Recorded().onServerConnect) Recorded().onServerConnect();
        return Recorded().serverConnectResult;
    }

private:
    ULONG m_refs = 0;
};

// The part every control shares: identity, error information, and the
// reference it keeps to the server object it was connected to.
template <typename I>
class RecordingControl : public NoDispatch<I>, public ISupportErrorInfo {
public:
    RecordingControl() { ++Recorded().liveControls; }
    virtual ~RecordingControl() { --Recorded().liveControls; }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(I))
            *ppv = static_cast<I*>(this);
        else if (iid == IID_ISupportErrorInfo)
            *ppv = static_cast<ISupportErrorInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = --m_refs;
        if (count == 0) delete this;
        return count;
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override { return iid == __uuidof(I) ? S_OK : S_FALSE; }

protected:
    HRESULT Finish(const VARIANT& server) {
        const HRESULT hr = Recorded().controlConnectResult;
        if (FAILED(hr)) {
            // A failing control leaves an error object on the thread.
            ComPtr<ICreateErrorInfo> create;
            if (SUCCEEDED(CreateErrorInfo(create.Receive()))) {
                create->SetDescription(const_cast<LPOLESTR>(L"control refused"));
                ComPtr<IErrorInfo> info;
                if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
            }
            return hr;
        }
        if (V_VT(&server) == VT_DISPATCH) m_server = ComPtr<IUnknown>(V_DISPATCH(&server));
        return hr;
    }

private:
    ULONG m_refs = 0;
    ComPtr<IUnknown> m_server;
};

class RecordingCtlDirections final : public RecordingControl<IQuarnCtlDirections> {
public:
    STDMETHODIMP Connect(BSTR client, VARIANT server) override {
        RecordConnect(L"directions", static_cast<IQuarnCtlDirections*>(this), client, nullptr, {&server});
        return Finish(server);
    }
};

class RecordingCtlDocument final : public RecordingControl<IQuarnCtlDocument> {
public:
    STDMETHODIMP Connect(BSTR client, VARIANT reserved, VARIANT server) override {
        RecordConnect(L"document", static_cast<IQuarnCtlDocument*>(this), client, nullptr, {&reserved, &server});
        return Finish(server);
    }
};

class RecordingCtlDictDocument final : public RecordingControl<IQuarnCtlDictDocument> {
public:
    STDMETHODIMP Connect(BSTR client, VARIANT reserved1, VARIANT reserved2, VARIANT server) override {
        RecordConnect(L"dictdocument", static_cast<IQuarnCtlDictDocument*>(this), client, nullptr,
                      {&reserved1, &reserved2, &server});
        return Finish(server);
    }
};

// A class object that makes one kind of object. The server's class object
// records its references and locks.
class RecordingFactory final : public IClassFactory {
public:
    RecordingFactory(std::function<IUnknown*()> make, bool record) : m_make(std::move(make)), m_record(record) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        if (m_record) { Recorded().factoryEvents.push_back(L"AddRef"); ++Recorded().factoryReferences; }
        return ++m_refs;
    }
    STDMETHODIMP_(ULONG) Release() override {
        if (m_record) { Recorded().factoryEvents.push_back(L"Release"); --Recorded().factoryReferences; }
        const ULONG count = --m_refs;
        if (count == 0) delete this;
        return count;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (m_record && FAILED(Recorded().createInstanceResult)) return Recorded().createInstanceResult;
        ComPtr<IUnknown> object(m_make());
        return object->QueryInterface(iid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (m_record) {
            Recorded().factoryEvents.push_back(lock ? L"LockServer(1)" : L"LockServer(0)");
            Recorded().lockBalance += lock ? 1 : -1;
            if (Recorded().onLockServer) Recorded().onLockServer(lock);
        }
        return S_OK;
    }

private:
    std::function<IUnknown*()> m_make;
    bool m_record;
    ULONG m_refs = 0;
};
}  // namespace

RecordingClasses::RecordingClasses(bool withControls) {
    struct Row {
        const CLSID* clsid;
        DWORD context;
        bool record;
        std::function<IUnknown*()> make;
    };
    std::vector<Row> rows = {{&CLSID_QuarnSvrDirections, CLSCTX_LOCAL_SERVER, true,
                              [] { return static_cast<IQuarnSvrDirections*>(new RecordingServerObject()); }}};
    if (withControls) {
        rows.push_back({&CLSID_QuarnCtlDirections, CLSCTX_INPROC_SERVER, false,
                        [] { return static_cast<IQuarnCtlDirections*>(new RecordingCtlDirections()); }});
        rows.push_back({&CLSID_QuarnCtlDocument, CLSCTX_INPROC_SERVER, false,
                        [] { return static_cast<IQuarnCtlDocument*>(new RecordingCtlDocument()); }});
        rows.push_back({&CLSID_QuarnCtlDictDocument, CLSCTX_INPROC_SERVER, false,
                        [] { return static_cast<IQuarnCtlDictDocument*>(new RecordingCtlDictDocument()); }});
    }
    for (const Row& row : rows) {
        ComPtr<IClassFactory> factory(new RecordingFactory(row.make, row.record));
        DWORD cookie = 0;
        if (FAILED(CoRegisterClassObject(*row.clsid, factory.Get(), row.context, REGCLS_MULTIPLEUSE, &cookie))) {
            m_ok = false;
            continue;
        }
        m_cookies.push_back(cookie);
        if (row.record) m_serverFactory = factory.Get();
    }
    // Only what happens from here on is recorded: the registration's own
    // reference is the baseline.
    Recorded().factoryEvents.clear();
    Recorded().factoryReferences = 0;
}

RecordingClasses::~RecordingClasses() {
    for (DWORD cookie : m_cookies) CoRevokeClassObject(cookie);
}
