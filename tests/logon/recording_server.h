// In-process stand-ins that record what the logon object does with the
// translation server's class object, the server objects and the three
// controls. Registered in the test process with CoRegisterClassObject, so
// the library's CoGetClassObject and CoCreateInstance reach them directly.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <string>
#include <vector>
#include "quarn_server_h.h"

// One call of a Connect method: which object kind, the client and user names
// (null BSTRs recorded as such) and the VARIANT arguments in order.
struct ConnectRecord {
    std::wstring kind;  // "server", "directions", "document", "dictdocument"
    bool clientIsNull = false;
    std::wstring client;
    bool userIsNull = false;
    std::wstring user;
    std::vector<VARTYPE> argumentTypes;
    std::vector<SCODE> argumentErrors;     // V_ERROR of each VT_ERROR argument, 0 otherwise
    std::vector<IUnknown*> argumentObjects; // the object of each VT_DISPATCH argument, null otherwise
    IUnknown* self = nullptr;               // the object whose Connect was called
};

// What the recorders saw and how they answer; one instance for the process.
struct Recorder {
    std::vector<ConnectRecord> connects;
    std::vector<std::wstring> factoryEvents;  // "LockServer(1)", "LockServer(0)", "Release"
    LONG lockBalance = 0;
    LONG factoryReferences = 0;  // references held by others than the test
    LONG liveServers = 0;
    LONG liveControls = 0;
    HRESULT serverConnectResult = S_OK;
    HRESULT controlConnectResult = S_OK;
    HRESULT createInstanceResult = S_OK;
    std::function<void(BOOL lock)> onLockServer;  // runs inside each recorded LockServer
    std::function<void()> onServerConnect;        // runs inside each server object's Connect

    void Reset();
};
Recorder& Recorded();

// Registers the class object of the translation server (CLSCTX_LOCAL_SERVER)
// and, when asked, the three control classes (CLSCTX_INPROC_SERVER) in the
// test process for the lifetime of this object.
class RecordingClasses {
public:
    explicit RecordingClasses(bool withControls = true);
    ~RecordingClasses();
    RecordingClasses(const RecordingClasses&) = delete;
    RecordingClasses& operator=(const RecordingClasses&) = delete;
    bool Registered() const { return m_ok; }
    // The server's class object as registered (for identity checks).
    IClassFactory* ServerFactory() const { return m_serverFactory; }

private:
    bool m_ok = true;
    IClassFactory* m_serverFactory = nullptr;
    std::vector<DWORD> m_cookies;
};
