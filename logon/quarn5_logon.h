// The logon object: asks for, remembers and uses the credentials with which a
// client application reaches the translation server, and hands out server
// and control objects already introduced to that server.
//
// The class implements only the own methods of IQuarn5Logon; IUnknown and
// IDispatch come from the COM frame, which derives from it.
#pragma once
#include <windows.h>
#include <string>
#include "common/com_ptr.h"
#include "common/secret_string.h"
#include "logon/logon_settings.h"
#include "quarn_server_h.h"
#include "quarnver_h.h"

// Returned by the string properties and the server queries while the object
// holds no class object of the translation server.
inline constexpr HRESULT QUARN_E_NOT_LOGGED_ON = static_cast<HRESULT>(0x800F0000);

class Quarn5Logon : public IQuarn5Logon {
public:
    // Starts from what is remembered for the current Windows user.
    Quarn5Logon();
    // Gives back the server lock, then the class object.
    virtual ~Quarn5Logon();
    Quarn5Logon(const Quarn5Logon&) = delete;
    Quarn5Logon& operator=(const Quarn5Logon&) = delete;

    STDMETHODIMP Initialize(BSTR Client, VARIANT Server, VARIANT User, VARIANT Password, LONG* pVal) override;
    STDMETHODIMP get_Level(LONG* pVal) override;
    STDMETHODIMP put_Level(LONG value) override;
    STDMETHODIMP GetQuarnSvrDirections(IUnknown** pVal) override;
    STDMETHODIMP GetQuarnCtlDirections(IUnknown** pVal) override;
    STDMETHODIMP GetQuarnCtlDocument(IUnknown** pVal) override;
    STDMETHODIMP GetQuarnCtlDictDocument(IUnknown** pVal) override;
    STDMETHODIMP get_Client(BSTR* pVal) override;
    STDMETHODIMP get_User(BSTR* pVal) override;
    STDMETHODIMP get_Password(BSTR* pVal) override;
    STDMETHODIMP get_Server(BSTR* pVal) override;

private:
    // Reads an optional argument through a reference and narrows numbers to
    // 16- or 32-bit integers; a number that does not fit fails.
    [[nodiscard]] static HRESULT NormalizeArgument(const VARIANT& source, VARIANT* destination);
    // The text of one optional argument of Initialize; false for an omitted,
    // empty or unconvertible argument, which leaves its member alone. The
    // copies made on the way are wiped: the argument may be a password.
    [[nodiscard]] static bool ArgumentText(const VARIANT& argument, SecretString* text);

    [[nodiscard]] HRESULT InitializeBody(BSTR client, const VARIANT& server, const VARIANT& user, const VARIANT& password,
                           LONG* pVal);
    [[nodiscard]] HRESULT GetStringProperty(std::wstring_view member, BSTR* pVal) const;
    // A new server object from the held class object, connected for the
    // client and the user.
    [[nodiscard]] HRESULT CreateServerObject(ComPtr<IQuarnSvrDirections>* server);
    // A new control of the given class tied to a new server object; connect
    // calls the control's Connect with the client name and the server VARIANT.
    template <typename Control, typename ConnectCall>
    [[nodiscard]] HRESULT CreateConnectedControl(REFCLSID clsid, IUnknown** pVal, ConnectCall connect);

    ComPtr<IClassFactory> m_pServerFactory;
    // True while an Initialize runs. Its dialog's modal loop (and the wait
    // for the server) dispatches the host's messages, so a handler may call
    // Initialize again on this object; that nested call is refused.
    bool m_bInitializing = false;
    std::wstring m_wstrUser;
    SecretString m_wstrPassword;
    // Where m_wstrPassword came from, which decides what remembering it may
    // replace; supplied once Initialize's argument or the dialog gives one.
    LogonSettings::PasswordOrigin m_passwordOrigin = LogonSettings::PasswordOrigin::Stored;
    // m_wstrPassword is the credential of m_wstrUser as remembered, which
    // another user name given to Initialize does not get.
    bool m_bPasswordOfUser = false;
    std::wstring m_wstrServer;
    // The organisation fixes m_wstrServer: Initialize's server and the
    // dialog's server row have no say, and nothing of it is remembered.
    bool m_bServerFixed = false;
    std::wstring m_wstrClient;
    LONG m_lLevel = 0;
};
