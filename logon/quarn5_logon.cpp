#include "logon/quarn5_logon.h"
#include "common/bstr.h"
#include "common/com_call_guard.h"
#include "common/hresult.h"
#include "common/interactive_window_station.h"
#include "common/missing_argument.h"
#include "common/resource_module.h"
#include "logon/local_computer.h"
#include "logon/logon_dialog.h"
#include "logon/logon_settings.h"
#include "server/call_keep_alive.h"

Quarn5Logon::Quarn5Logon() {
    LogonSettings::Remembered remembered = LogonSettings::ReadRemembered();
    m_wstrUser = std::move(remembered.user);
    m_wstrPassword = std::move(remembered.password);
    m_passwordOrigin = remembered.passwordOrigin;
    m_bPasswordOfUser = remembered.passwordOfUser;
    m_wstrServer = std::move(remembered.server);
    m_bServerFixed = remembered.serverFixed;
    m_lLevel = remembered.level;
}

Quarn5Logon::~Quarn5Logon() {
    if (m_pServerFactory) {
        m_pServerFactory->LockServer(FALSE);
        m_pServerFactory.Reset();
    }
}

STDMETHODIMP Quarn5Logon::Initialize(BSTR Client, VARIANT Server, VARIANT User, VARIANT Password, LONG* pVal) {
    ResourceModuleScope scope(ThisModule());
    // The dialog's loop and the wait for the server dispatch the host's messages.
    CallKeepAlive alive(this);
    return GuardComCall([&] { return InitializeBody(Client, Server, User, Password, pVal); });
}

HRESULT Quarn5Logon::InitializeBody(BSTR client, const VARIANT& server, const VARIANT& user,
                                    const VARIANT& password, LONG* pVal) {
    // There is no log-off: an object logs on once, and one call at a time.
    if (m_pServerFactory || m_bInitializing) return E_FAIL;
    QUARN_RETURN_IF_NULL(pVal, E_POINTER);
    m_bInitializing = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{m_bInitializing};

    m_wstrClient = WideFromBstr(client);
    SecretString text;
    // A server the organisation fixes is not the caller's to change.
    if (!m_bServerFixed && ArgumentText(server, &text)) m_wstrServer.assign(text.data(), text.size());
    // A credential's password is its own user's: another user name given
    // here gets none, and that withheld password stays remembered.
    const bool otherUser = ArgumentText(user, &text) && std::wstring_view(text) != m_wstrUser;
    if (otherUser) m_wstrUser.assign(text.data(), text.size());
    if (ArgumentText(password, &text)) {
        m_wstrPassword = text;
        m_passwordOrigin = LogonSettings::PasswordOrigin::Supplied;
    } else if (otherUser && m_bPasswordOfUser && m_passwordOrigin == LogonSettings::PasswordOrigin::Stored &&
               !m_wstrPassword.empty()) {
        m_wstrPassword.Wipe();
        m_passwordOrigin = LogonSettings::PasswordOrigin::Withheld;
    }
    *pVal = 1;

    // With no row open there is nothing to ask: the logon is silent and makes
    // no window at all, so it needs neither a desktop nor anyone to see it,
    // and the host's window is left as it is.
    LogonDialog dialog;
    dialog.m_lLevel = m_lLevel;
    dialog.m_bServerFixed = m_bServerFixed;
    if (dialog.HasOpenRow()) {
        dialog.m_wstrServer = m_wstrServer;
        dialog.m_wstrUser = m_wstrUser;
        dialog.m_wstrPassword = m_wstrPassword;
        // Where nobody can see the dialog, nobody can answer it: fail instead
        // of waiting for ever.
        const HRESULT interactive = RequireInteractiveWindowStation();
        if (FAILED(interactive)) {
            *pVal = 0;
            return interactive;
        }
        const INT_PTR result = dialog.DoModal();
        if (result == -1) {
            // The dialog could not be created or could not go on: that is no
            // answer of the user, so it is reported as a failure, not as a cancel.
            const DWORD error = GetLastError();
            *pVal = 0;
            if (FAILED(dialog.Failure())) return dialog.Failure();
            return error != ERROR_SUCCESS ? HresultFromWin32(static_cast<LONG>(error)) : E_FAIL;
        }
        if (result != IDOK) {
            *pVal = 0;
            return S_OK;
        }
        if (!m_bServerFixed) m_wstrServer = dialog.m_wstrServer;
        m_wstrUser = dialog.m_wstrUser;
        // A password typed over the one shown is supplied at this logon.
        if (dialog.m_wstrPassword != m_wstrPassword) {
            m_wstrPassword = dialog.m_wstrPassword;
            m_passwordOrigin = LogonSettings::PasswordOrigin::Supplied;
        }
    }
    // Remembering is best effort: a settings store that cannot be written
    // does not stop the logon.
    if (!(m_lLevel & kLevelNoRemember)) {
        (void)LogonSettings::WriteUser(m_wstrUser);
        // A fixed server leaves the user's own choice remembered for when
        // the organisation lifts it.
        if (!m_bServerFixed) LogonSettings::RememberServer(m_wstrServer);
        LogonSettings::RememberPassword(m_wstrUser, m_wstrPassword, m_passwordOrigin);
    }

    // This computer is asked for a local server without server information;
    // another one is reached only with CLSCTX_REMOTE_SERVER in the context,
    // which COM requires beside a COSERVERINFO for a remote activation.
    const bool local = IsLocalComputer(m_wstrServer);
    COSERVERINFO serverInfo = {0, const_cast<LPWSTR>(m_wstrServer.c_str()), nullptr, 0};
    const DWORD context = local ? CLSCTX_LOCAL_SERVER : CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

    ComPtr<IClassFactory> factory;
    QUARN_RETURN_IF_FAILED(CoGetClassObject(CLSID_QuarnSvrDirections, context, local ? nullptr : &serverInfo,
                                            IID_IClassFactory, factory.ReceiveVoid()));
    QUARN_RETURN_IF_NULL(factory.Get(), E_NOINTERFACE);
    factory->LockServer(TRUE);
    m_pServerFactory = std::move(factory);
    return S_OK;
}

HRESULT Quarn5Logon::NormalizeArgument(const VARIANT& source, VARIANT* destination) {
    VARIANT* input = const_cast<VARIANT*>(&source);
    if (V_VT(&source) & VT_BYREF) {
        if (!V_BYREF(&source)) return E_POINTER;
        const VARTYPE referenced = V_VT(&source) & ~VT_BYREF;
        if (referenced == VT_VARIANT) {
            QUARN_RETURN_IF_FAILED(VariantCopy(destination, V_VARIANTREF(&source)));
            // A referenced VARIANT may itself hold a reference: read through it
            // too, so no reference reaches the conversions below.
            if (V_VT(destination) & VT_BYREF) {
                if (!V_BYREF(destination)) return E_POINTER;
                QUARN_RETURN_IF_FAILED(VariantCopyInd(destination, destination));
            }
        } else {
            QUARN_RETURN_IF_FAILED(VariantChangeType(destination, input, 0, referenced));
        }
        input = destination;
    }
    // Numbers are narrowed to 16- or 32-bit integers. The range is tested
    // here and not left to VariantChangeType, which on some platforms wraps
    // unsigned values into negative ones instead of reporting the overflow.
    switch (V_VT(input)) {
    case VT_R4:
    case VT_R8: {
        const double value = V_VT(input) == VT_R4 ? V_R4(input) : V_R8(input);
        if (!(value > -2147483648.5 && value < 2147483647.5)) return DISP_E_OVERFLOW;
        return VariantChangeType(destination, input, 0, VT_I4);
    }
    case VT_UI4:
    case VT_UINT:
        if (V_UI4(input) > 0x7FFFFFFFu) return DISP_E_OVERFLOW;
        return VariantChangeType(destination, input, 0, VT_I4);
    case VT_INT:
        return VariantChangeType(destination, input, 0, VT_I4);
    case VT_UI2:
        if (V_UI2(input) > 0x7FFFu) return DISP_E_OVERFLOW;
        return VariantChangeType(destination, input, 0, VT_I2);
    case VT_I1:
    case VT_UI1:
        return VariantChangeType(destination, input, 0, VT_I2);
    default:
        return input == destination ? S_OK : VariantCopy(destination, input);
    }
}

bool Quarn5Logon::ArgumentText(const VARIANT& argument, SecretString* text) {
    // Wipes a BSTR of the library's own copies before they are freed.
    struct WipedVariant : UniqueVariant {
        ~WipedVariant() {
            if (V_VT(Get()) == VT_BSTR) WipeBstr(V_BSTR(Get()));
        }
    };
    WipedVariant normalized;
    if (FAILED(NormalizeArgument(argument, normalized.Get()))) return false;
    const VARIANT& value = *normalized.Get();
    const VARTYPE type = V_VT(&value);
    // Omitted and empty arguments keep the member. So do values that have no
    // text: Null, other error codes, arrays, references that are still
    // references, and object slots holding no object.
    if (type == VT_EMPTY || type == VT_NULL || type == VT_ERROR || (type & (VT_ARRAY | VT_BYREF))) return false;
    if ((type == VT_DISPATCH || type == VT_UNKNOWN) && !V_UNKNOWN(&value)) return false;
    if (type == VT_BSTR) {
        text->assign(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
        return true;
    }
    WipedVariant converted;
    if (FAILED(VariantChangeType(converted.Get(), normalized.Get(), 0, VT_BSTR))) return false;
    text->assign(V_BSTR(converted.Get()) ? V_BSTR(converted.Get()) : L"", SysStringLen(V_BSTR(converted.Get())));
    return true;
}

STDMETHODIMP Quarn5Logon::get_Level(LONG* pVal) {
    ResourceModuleScope scope(ThisModule());
    QUARN_RETURN_IF_NULL(pVal, E_POINTER);
    *pVal = m_lLevel;
    return S_OK;
}

STDMETHODIMP Quarn5Logon::put_Level(LONG value) {
    ResourceModuleScope scope(ThisModule());
    return GuardComCall([&] {
        m_lLevel = value;
        // As for a confirmed logon, the flag word is remembered on a best-effort basis.
        if (!(value & kLevelNoRemember)) (void)LogonSettings::WriteLevel(value);
        return S_OK;
    });
}

HRESULT Quarn5Logon::GetStringProperty(std::wstring_view member, BSTR* pVal) const {
    QUARN_RETURN_IF_NULL(pVal, E_POINTER);
    *pVal = nullptr;
    if (!m_pServerFactory) return QUARN_E_NOT_LOGGED_ON;
    *pVal = BstrFromWide(member).Take();
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Quarn5Logon::get_Client(BSTR* pVal) {
    ResourceModuleScope scope(ThisModule());
    return GetStringProperty(m_wstrClient, pVal);
}

STDMETHODIMP Quarn5Logon::get_User(BSTR* pVal) {
    ResourceModuleScope scope(ThisModule());
    return GetStringProperty(m_wstrUser, pVal);
}

STDMETHODIMP Quarn5Logon::get_Password(BSTR* pVal) {
    ResourceModuleScope scope(ThisModule());
    return GetStringProperty(m_wstrPassword, pVal);
}

STDMETHODIMP Quarn5Logon::get_Server(BSTR* pVal) {
    ResourceModuleScope scope(ThisModule());
    return GetStringProperty(m_wstrServer, pVal);
}
