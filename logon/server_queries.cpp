// The server queries of the logon object: each call creates a fresh server
// object through the held class object and introduces the client to it; the
// control getters then create the control locally and tie it to that server
// object. Every failure releases what the call took and leaves a null result.
#include <comdef.h>
#include "common/bstr.h"
#include "common/com_call_guard.h"
#include "common/hresult.h"
#include "common/missing_argument.h"
#include "common/resource_module.h"
#include "logon/quarn5_logon.h"
#include "server/call_keep_alive.h"

namespace {
// A copy of the module-wide "missing" VARIANT for an argument left out.
VARIANT Missing() { return MissingArgument(); }

// Drops the error object a failing control may have set, so that no stale
// error information reaches the caller.
void DropErrorInfo(IUnknown* control, REFIID iid) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(control->QueryInterface(IID_ISupportErrorInfo, support.ReceiveVoid())) || !support) return;
    if (support->InterfaceSupportsErrorInfo(iid) != S_OK) return;
    ComPtr<IErrorInfo> info;
    GetErrorInfo(0, info.Receive());
}
}  // namespace

HRESULT Quarn5Logon::CreateServerObject(ComPtr<IQuarnSvrDirections>* server) {
    if (!m_pServerFactory) return QUARN_E_NOT_LOGGED_ON;
    ComPtr<IQuarnSvrDirections> created;
    QUARN_RETURN_IF_FAILED(GuardComCall([&] {
        QUARN_RETURN_IF_FAILED(m_pServerFactory->CreateInstance(nullptr, __uuidof(IQuarnSvrDirections),
                                                                created.ReceiveVoid()));
        QUARN_RETURN_IF_NULL(created.Get(), E_NOINTERFACE);
        const UniqueBstr user = BstrFromWide(m_wstrUser);
        const UniqueBstr client = BstrFromWide(m_wstrClient);
        QUARN_RETURN_IF_NULL(user.Get(), E_OUTOFMEMORY);
        QUARN_RETURN_IF_NULL(client.Get(), E_OUTOFMEMORY);
        return created->Connect(client.Get(), user.Get(), Missing());
    }));
    *server = std::move(created);
    return S_OK;
}

STDMETHODIMP Quarn5Logon::GetQuarnSvrDirections(IUnknown** pVal) {
    ResourceModuleScope scope(ThisModule());
    CallKeepAlive alive(this);  // the calls to the server dispatch the host's messages
    QUARN_RETURN_IF_NULL(pVal, E_POINTER);
    *pVal = nullptr;
    if (!m_pServerFactory) return QUARN_E_NOT_LOGGED_ON;
    return GuardComCall([&] {
        ComPtr<IQuarnSvrDirections> server;
        QUARN_RETURN_IF_FAILED(CreateServerObject(&server));
        ComPtr<IUnknown> unknown;
        QUARN_RETURN_IF_FAILED(server->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()));
        *pVal = unknown.Take();
        return S_OK;
    });
}

template <typename Control, typename ConnectCall>
HRESULT Quarn5Logon::CreateConnectedControl(REFCLSID clsid, IUnknown** pVal, ConnectCall connect) {
    CallKeepAlive alive(this);  // the calls to the server and the control dispatch the host's messages
    QUARN_RETURN_IF_NULL(pVal, E_POINTER);
    *pVal = nullptr;
    return GuardComCall([&] {
        ComPtr<IQuarnSvrDirections> server;
        QUARN_RETURN_IF_FAILED(CreateServerObject(&server));

        ComPtr<Control> control;
        {
            ComPtr<IUnknown> created;
            QUARN_RETURN_IF_FAILED(CoCreateInstance(clsid, nullptr,
                                                    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                                        CLSCTX_LOCAL_SERVER,
                                                    IID_IUnknown, created.ReceiveVoid()));
            QUARN_RETURN_IF_NULL(created.Get(), E_NOINTERFACE);
            QUARN_RETURN_IF_FAILED(OleRun(created.Get()));
            QUARN_RETURN_IF_FAILED(created.As(&control));
            QUARN_RETURN_IF_NULL(control.Get(), E_NOINTERFACE);
        }

        // The control receives the very server object, with one reference of
        // its own for the VARIANT.
        UniqueVariant serverArgument;
        V_VT(serverArgument.Get()) = VT_DISPATCH;
        V_DISPATCH(serverArgument.Get()) = server.Get();
        server->AddRef();

        const UniqueBstr client = BstrFromWide(m_wstrClient);
        QUARN_RETURN_IF_NULL(client.Get(), E_OUTOFMEMORY);
        const HRESULT connected = connect(control.Get(), client.Get(), *serverArgument.Get());
        if (FAILED(connected)) {
            DropErrorInfo(control.Get(), __uuidof(Control));
            return connected;
        }
        QUARN_RETURN_IF_FAILED(VariantClear(serverArgument.Get()));

        ComPtr<IUnknown> unknown;
        QUARN_RETURN_IF_FAILED(control->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()));
        *pVal = unknown.Take();
        return S_OK;
    });
}

STDMETHODIMP Quarn5Logon::GetQuarnCtlDirections(IUnknown** pVal) {
    ResourceModuleScope scope(ThisModule());
    return CreateConnectedControl<IQuarnCtlDirections>(
        CLSID_QuarnCtlDirections, pVal,
        [](IQuarnCtlDirections* control, BSTR client, const VARIANT& server) {
            return control->Connect(client, server);
        });
}

STDMETHODIMP Quarn5Logon::GetQuarnCtlDocument(IUnknown** pVal) {
    ResourceModuleScope scope(ThisModule());
    return CreateConnectedControl<IQuarnCtlDocument>(
        CLSID_QuarnCtlDocument, pVal,
        [](IQuarnCtlDocument* control, BSTR client, const VARIANT& server) {
            return control->Connect(client, Missing(), server);
        });
}

STDMETHODIMP Quarn5Logon::GetQuarnCtlDictDocument(IUnknown** pVal) {
    ResourceModuleScope scope(ThisModule());
    return CreateConnectedControl<IQuarnCtlDictDocument>(
        CLSID_QuarnCtlDictDocument, pVal,
        [](IQuarnCtlDictDocument* control, BSTR client, const VARIANT& server) {
            return control->Connect(client, Missing(), Missing(), server);
        });
}
