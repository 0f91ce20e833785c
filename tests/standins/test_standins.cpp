// The stand-ins for the translation server (out of process) and its three
// controls (in process), observed through the test-side control library.
#include <doctest/doctest.h>
#include <functional>
#include <string>
#include <vector>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "common/unique_handle.h"
#include "standin_control.h"
#include "standins_h.h"
#include "test_support.h"

namespace {

const wchar_t kMissingText[] = L"0x80020004";

UniqueBstr Bstr(const std::wstring& text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// Starts every test from a clean channel and leaves one behind.
struct CleanChannel {
    CleanChannel() { REQUIRE(ResetStandIns() == S_OK); }
    ~CleanChannel() { ResetStandIns(); }
};

ComPtr<IClassFactory> RemoteServerClass() {
    ComPtr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(CLSID_QuarnSvrDirections, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                        factory.ReceiveVoid());
    REQUIRE(hr == S_OK);
    return factory;
}

ComPtr<IQuarnSvrDirections> NewServer(IClassFactory* factory) {
    ComPtr<IQuarnSvrDirections> server;
    REQUIRE(factory->CreateInstance(nullptr, IID_IQuarnSvrDirections, server.ReceiveVoid()) == S_OK);
    REQUIRE(server);
    return server;
}

long SerialOf(IQuarnSvrDirections* server) {
    long serial = 0;
    REQUIRE(server->get_Serial(&serial) == S_OK);
    return serial;
}

VARIANT ServerVariant(IQuarnSvrDirections* server) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = server;
    if (server) server->AddRef();
    return v;
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}

// One control of any kind, connected through its own interface's Connect.
struct Control {
    StandInKind kind;
    ComPtr<IUnknown> object;

    HRESULT Connect(BSTR client, const VARIANT& server) const {
        VARIANT missing = Missing();
        switch (kind) {
        case StandInKind::CtlDirections: {
            ComPtr<IQuarnCtlDirections> c;
            REQUIRE(object->QueryInterface(IID_IQuarnCtlDirections, c.ReceiveVoid()) == S_OK);
            return c->Connect(client, server);
        }
        case StandInKind::CtlDocument: {
            ComPtr<IQuarnCtlDocument> c;
            REQUIRE(object->QueryInterface(IID_IQuarnCtlDocument, c.ReceiveVoid()) == S_OK);
            return c->Connect(client, missing, server);
        }
        case StandInKind::CtlDictDocument: {
            ComPtr<IQuarnCtlDictDocument> c;
            REQUIRE(object->QueryInterface(IID_IQuarnCtlDictDocument, c.ReceiveVoid()) == S_OK);
            return c->Connect(client, missing, missing, server);
        }
        case StandInKind::Server: break;
        }
        FAIL("not a control");
        return E_FAIL;
    }

    // Serial of the server object the control holds, 0 for none.
    long HeldServerSerial() const {
        ComPtr<IDispatch> held;
        HRESULT hr = E_FAIL;
        switch (kind) {
        case StandInKind::CtlDirections: {
            ComPtr<IQuarnCtlDirections> c;
            object->QueryInterface(IID_IQuarnCtlDirections, c.ReceiveVoid());
            hr = c->get_Server(held.Receive());
            break;
        }
        case StandInKind::CtlDocument: {
            ComPtr<IQuarnCtlDocument> c;
            object->QueryInterface(IID_IQuarnCtlDocument, c.ReceiveVoid());
            hr = c->get_Server(held.Receive());
            break;
        }
        case StandInKind::CtlDictDocument: {
            ComPtr<IQuarnCtlDictDocument> c;
            object->QueryInterface(IID_IQuarnCtlDictDocument, c.ReceiveVoid());
            hr = c->get_Server(held.Receive());
            break;
        }
        case StandInKind::Server: break;
        }
        REQUIRE(hr == S_OK);
        if (!held) return 0;
        ComPtr<IQuarnSvrDirections> server;
        REQUIRE(held->QueryInterface(IID_IQuarnSvrDirections, server.ReceiveVoid()) == S_OK);
        return SerialOf(server.Get());
    }
};

Control NewControl(StandInKind kind) {
    Control control{kind, {}};
    REQUIRE(CoCreateInstance(StandInKindClsid(kind), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             control.object.ReceiveVoid()) == S_OK);
    return control;
}

const StandInKind kControls[] = {StandInKind::CtlDirections, StandInKind::CtlDocument,
                                 StandInKind::CtlDictDocument};

struct ExpectedArgument {
    VARTYPE type;
    std::wstring text;
    bool nullBstr;
    bool emptyBstr;
};

void CheckArgument(const StandInConnectArgument& got, const ExpectedArgument& want) {
    CHECK(got.type == want.type);
    CHECK(got.text == want.text);
    CHECK(got.nullBstr == want.nullBstr);
    CHECK(got.emptyBstr == want.emptyBstr);
    CHECK_FALSE(got.standInServer);
}

}  // namespace

TEST_CASE("the server runs in its own process and records each Connect with its arguments") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    const std::wstring cyrillic = Utf8ToWide("Пользователь");
    const std::wstring separators(L"a|b\\c\0d", 7);

    struct Case {
        const char* name;
        std::function<BSTR()> client;
        std::function<BSTR()> user;
        std::function<void(VARIANT*)> reserved;
        ExpectedArgument args[3];
    } cases[] = {
        {"names and a missing reserved argument", [] { return SysAllocString(L"Client A"); },
         [&] { return SysAllocString(cyrillic.c_str()); }, [](VARIANT* v) { *v = Missing(); },
         {{VT_BSTR, L"Client A", false, false}, {VT_BSTR, cyrillic, false, false},
          {VT_ERROR, kMissingText, false, false}}},
        {"an empty and a null BSTR stay apart", [] { return SysAllocString(L""); }, [] { return BSTR(nullptr); },
         [](VARIANT* v) { VariantInit(v); },
         {{VT_BSTR, L"", false, true}, {VT_BSTR, L"", true, false}, {VT_EMPTY, L"", false, false}}},
        {"separators and zeros inside the texts",
         [&] { return SysAllocStringLen(separators.data(), static_cast<UINT>(separators.size())); },
         [] { return SysAllocString(L"u"); },
         [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L"x|y\\"); },
         {{VT_BSTR, separators, false, false}, {VT_BSTR, L"u", false, false}, {VT_BSTR, L"x|y\\", false, false}}},
        {"numbers as invariant text", [] { return SysAllocString(L"c"); }, [] { return SysAllocString(L"u"); },
         [](VARIANT* v) { V_VT(v) = VT_R8; V_R8(v) = 1.5; },
         {{VT_BSTR, L"c", false, false}, {VT_BSTR, L"u", false, false}, {VT_R8, L"1.5", false, false}}},
        {"an integer", [] { return SysAllocString(L"c"); }, [] { return SysAllocString(L"u"); },
         [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = -42; },
         {{VT_BSTR, L"c", false, false}, {VT_BSTR, L"u", false, false}, {VT_I4, L"-42", false, false}}},
        {"another error code", [] { return SysAllocString(L"c"); }, [] { return SysAllocString(L"u"); },
         [](VARIANT* v) { V_VT(v) = VT_ERROR; V_ERROR(v) = E_FAIL; },
         {{VT_BSTR, L"c", false, false}, {VT_BSTR, L"u", false, false}, {VT_ERROR, L"0x80004005", false, false}}},
    };

    for (Case& c : cases) {
        CAPTURE(c.name);
        ResetStandIns();
        ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
        UniqueBstr client(c.client()), user(c.user());
        UniqueVariant reserved;
        c.reserved(reserved.Get());
        REQUIRE(server->Connect(client.Get(), user.Get(), *reserved.Get()) == S_OK);

        const std::vector<StandInConnectRecord> records = ReadStandInConnects();
        REQUIRE(records.size() == 1);
        const StandInConnectRecord& r = records[0];
        CHECK(r.kind == StandInKind::Server);
        CHECK(r.objectSerial == SerialOf(server.Get()));
        CHECK(r.processId != GetCurrentProcessId());
        CHECK(r.result == S_OK);
        REQUIRE(r.arguments.size() == 3);
        for (int i = 0; i < 3; ++i) {
            CAPTURE(i);
            CheckArgument(r.arguments[i], c.args[i]);
        }
        // The server keeps the names of a successful Connect.
        UniqueBstr kept;
        REQUIRE(server->get_Client(kept.Receive()) == S_OK);
        CHECK(std::wstring(kept.Get(), kept.Length()) == c.args[0].text);
    }
}

TEST_CASE("objects handed to the server are told apart: stand-in servers by serial, null pointers") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
    ComPtr<IQuarnSvrDirections> other = NewServer(factory.Get());
    CHECK(SerialOf(server.Get()) != SerialOf(other.Get()));
    UniqueBstr client = Bstr(L"c"), user = Bstr(L"u");

    UniqueVariant held;
    *held.Get() = ServerVariant(other.Get());
    REQUIRE(server->Connect(client.Get(), user.Get(), *held.Get()) == S_OK);
    UniqueVariant null;
    V_VT(null.Get()) = VT_DISPATCH;
    V_DISPATCH(null.Get()) = nullptr;
    REQUIRE(server->Connect(client.Get(), user.Get(), *null.Get()) == S_OK);

    const std::vector<StandInConnectRecord> records = ReadStandInConnects(StandInKind::Server);
    REQUIRE(records.size() == 2);
    const StandInConnectArgument& a = records[0].arguments.at(2);
    CHECK(a.type == VT_DISPATCH);
    CHECK(a.standInServer);
    CHECK(a.serverSerial == SerialOf(other.Get()));
    CHECK_FALSE(a.nullObject);
    const StandInConnectArgument& b = records[1].arguments.at(2);
    CHECK(b.type == VT_DISPATCH);
    CHECK(b.nullObject);
    CHECK_FALSE(b.standInServer);
}

TEST_CASE("each control connects in process to the server object it is handed") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    for (StandInKind kind : kControls) {
        CAPTURE(StandInKindName(kind));
        ResetStandIns();
        ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
        Control control = NewControl(kind);
        CHECK(OleRun(control.object.Get()) == S_OK);
        CHECK(control.HeldServerSerial() == 0);
        UniqueBstr client = Bstr(L"Клиент");
        UniqueVariant serverArgument;
        *serverArgument.Get() = ServerVariant(server.Get());
        REQUIRE(control.Connect(client.Get(), *serverArgument.Get()) == S_OK);

        const std::vector<StandInConnectRecord> records = ReadStandInConnects();
        REQUIRE(records.size() == 1);
        const StandInConnectRecord& r = records[0];
        CHECK(r.kind == kind);
        CHECK(r.processId == GetCurrentProcessId());
        CHECK(r.result == S_OK);
        const size_t count = kind == StandInKind::CtlDirections ? 2 : kind == StandInKind::CtlDocument ? 3 : 4;
        REQUIRE(r.arguments.size() == count);
        CheckArgument(r.arguments.front(), {VT_BSTR, L"Клиент", false, false});
        for (size_t i = 1; i + 1 < count; ++i) CheckArgument(r.arguments[i], {VT_ERROR, kMissingText, false, false});
        CHECK(r.arguments.back().type == VT_DISPATCH);
        CHECK(r.arguments.back().standInServer);
        CHECK(r.arguments.back().serverSerial == SerialOf(server.Get()));
        // The control keeps the very server object it was handed.
        CHECK(control.HeldServerSerial() == SerialOf(server.Get()));
    }
}

TEST_CASE("Connect answers with the result set for its class, and only that class") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    const HRESULT kRefused = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    static const StandInKind kAll[] = {StandInKind::Server, StandInKind::CtlDirections, StandInKind::CtlDocument,
                                       StandInKind::CtlDictDocument};

    for (HRESULT configured : {kRefused, S_FALSE}) {
        for (StandInKind target : kAll) {
            CAPTURE(StandInKindName(target));
            CAPTURE(configured);
            REQUIRE(ResetStandIns() == S_OK);
            REQUIRE(SetStandInConnectResult(target, configured) == S_OK);
            for (StandInKind kind : kAll) {
                const HRESULT expected = kind == target ? configured : S_OK;
                ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
                UniqueBstr client = Bstr(L"c"), user = Bstr(L"u");
                if (kind == StandInKind::Server) {
                    CHECK(server->Connect(client.Get(), user.Get(), Missing()) == expected);
                    UniqueBstr kept;
                    REQUIRE(server->get_Client(kept.Receive()) == S_OK);
                    CHECK(kept.Length() == (SUCCEEDED(expected) ? 1u : 0u));
                } else {
                    Control control = NewControl(kind);
                    UniqueVariant serverArgument;
                    *serverArgument.Get() = ServerVariant(server.Get());
                    SetErrorInfo(0, nullptr);
                    CHECK(control.Connect(client.Get(), *serverArgument.Get()) == expected);
                    ComPtr<IErrorInfo> error;
                    const HRESULT gotError = GetErrorInfo(0, error.Receive());
                    // A refused Connect leaves an error object and keeps no server.
                    CHECK((gotError == S_OK) == FAILED(expected));
                    CHECK(control.HeldServerSerial() == (FAILED(expected) ? 0 : SerialOf(server.Get())));
                    ComPtr<ISupportErrorInfo> support;
                    REQUIRE(control.object->QueryInterface(IID_ISupportErrorInfo, support.ReceiveVoid()) == S_OK);
                }
            }
            const std::vector<StandInConnectRecord> records = ReadStandInConnects();
            REQUIRE(records.size() == 4);
            for (const StandInConnectRecord& r : records) CHECK(r.result == (r.kind == target ? configured : S_OK));
        }
    }
    // A reset gives back the default answer.
    REQUIRE(ResetStandIns() == S_OK);
    CHECK(ReadStandInConnects().empty());
    ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
    UniqueBstr client = Bstr(L"c"), user = Bstr(L"u");
    CHECK(server->Connect(client.Get(), user.Get(), Missing()) == S_OK);
}

TEST_CASE("class objects refuse aggregation and answer with a CreateInstance failure set for their class") {
    CleanChannel clean;
    ComPtr<IClassFactory> serverClass = RemoteServerClass();
    static const StandInKind kAll[] = {StandInKind::Server, StandInKind::CtlDirections, StandInKind::CtlDocument,
                                       StandInKind::CtlDictDocument};
    for (StandInKind kind : kAll) {
        CAPTURE(StandInKindName(kind));
        ComPtr<IClassFactory> factory;
        if (kind == StandInKind::Server) {
            factory = serverClass;
        } else {
            REQUIRE(CoGetClassObject(StandInKindClsid(kind), CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.ReceiveVoid()) == S_OK);
        }
        const long before = StandInLiveObjects(kind);
        REQUIRE(SetStandInCreateResult(kind, E_OUTOFMEMORY) == S_OK);
        IUnknown* object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
        CHECK(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) == E_OUTOFMEMORY);
        CHECK(object == nullptr);
        REQUIRE(SetStandInCreateResult(kind, S_OK) == S_OK);
        if (kind != StandInKind::Server) {
            // Aggregation is refused before anything is made (in process only:
            // an outer object cannot cross processes).
            IUnknown* outer = factory.Get();
            object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xdeadbeef));
            CHECK(factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)) ==
                  CLASS_E_NOAGGREGATION);
            CHECK(object == nullptr);
        }
        CHECK(StandInLiveObjects(kind) == before);
        ComPtr<IUnknown> made;
        CHECK(factory->CreateInstance(nullptr, IID_IUnknown, made.ReceiveVoid()) == S_OK);
        CHECK(StandInLiveObjects(kind) == before + 1);
    }
}

TEST_CASE("live-object counts follow creation and release; a control keeps its server alive") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    const long servers = StandInLiveObjects(StandInKind::Server);
    const long documents = StandInLiveObjects(StandInKind::CtlDocument);

    ComPtr<IQuarnSvrDirections> first = NewServer(factory.Get());
    ComPtr<IQuarnSvrDirections> second = NewServer(factory.Get());
    CHECK(StandInLiveObjects(StandInKind::Server) == servers + 2);
    Control control = NewControl(StandInKind::CtlDocument);
    CHECK(StandInLiveObjects(StandInKind::CtlDocument) == documents + 1);
    {
        UniqueBstr client = Bstr(L"c");
        UniqueVariant serverArgument;
        *serverArgument.Get() = ServerVariant(first.Get());
        REQUIRE(control.Connect(client.Get(), *serverArgument.Get()) == S_OK);
    }

    second.Reset();
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, servers + 1));
    first.Reset();  // the control still holds it
    Sleep(200);
    CHECK(StandInLiveObjects(StandInKind::Server) == servers + 1);
    control.object.Reset();
    CHECK(StandInLiveObjects(StandInKind::CtlDocument) == documents);
    CHECK(WaitForStandInLiveObjects(StandInKind::Server, servers));
}

TEST_CASE("the server process ends once it has been left without objects for its idle time") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
    // Shortened only now: the object keeps the process from ending meanwhile.
    REQUIRE(SetStandInServerIdleTime(300) == S_OK);
    UniqueBstr client = Bstr(L"c"), user = Bstr(L"u");
    REQUIRE(server->Connect(client.Get(), user.Get(), Missing()) == S_OK);
    const std::vector<StandInConnectRecord> records = ReadStandInConnects();
    REQUIRE(records.size() == 1);
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, records[0].processId));
    REQUIRE(process);

    CHECK(WaitForSingleObject(process.Get(), 1000) == WAIT_TIMEOUT);
    server.Reset();
    factory.Reset();
    CHECK(WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0);
    CHECK(StandInLiveObjects(StandInKind::Server) == 0);
}

TEST_CASE("the lock balance counts the LockServer calls that reach a class object hosted in this process") {
    CleanChannel clean;
    InProcessStandInServer host;
    REQUIRE(host.Registered() == S_OK);
    const long balance = StandInServerLockBalance();
    const long references = host.ClassObjectReferences();

    ComPtr<IClassFactory> factory;
    REQUIRE(CoGetClassObject(CLSID_QuarnSvrDirections, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                             factory.ReceiveVoid()) == S_OK);
    REQUIRE(factory.Get() == host.ClassObject());
    CHECK(host.ClassObjectReferences() == references + 1);

    struct Step {
        BOOL lock;
        long expected;
    } steps[] = {{TRUE, 1}, {TRUE, 2}, {FALSE, 1}, {FALSE, 0}, {FALSE, -1}, {TRUE, 0}};
    for (const Step& s : steps) {
        CAPTURE(s.expected);
        CHECK(factory->LockServer(s.lock) == S_OK);
        CHECK(StandInServerLockBalance() == balance + s.expected);
    }

    // Objects of the hosted class live in this process.
    ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
    UniqueBstr client = Bstr(L"c"), user = Bstr(L"u");
    REQUIRE(server->Connect(client.Get(), user.Get(), Missing()) == S_OK);
    const std::vector<StandInConnectRecord> records = ReadStandInConnects();
    REQUIRE(records.size() == 1);
    CHECK(records[0].processId == GetCurrentProcessId());

    factory.Reset();
    CHECK(host.ClassObjectReferences() == references);
}

TEST_CASE("the server is reachable by name through IDispatch") {
    CleanChannel clean;
    ComPtr<IClassFactory> factory = RemoteServerClass();
    ComPtr<IQuarnSvrDirections> server = NewServer(factory.Get());
    ComPtr<IDispatch> dispatch;
    REQUIRE(server->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()) == S_OK);

    struct Name {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"Connect", 1}, {L"Serial", 2}, {L"Client", 3}, {L"User", 4}};
    for (const Name& n : names) {
        DISPID id = -1;
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        CHECK(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id) == S_OK);
        CHECK(id == n.id);
    }

    // Arguments travel in reverse order: Reserved, User, Client.
    UniqueVariant args[3];
    V_VT(args[0].Get()) = VT_I4;
    V_I4(args[0].Get()) = 7;
    V_VT(args[1].Get()) = VT_BSTR;
    V_BSTR(args[1].Get()) = SysAllocString(L"by name user");
    V_VT(args[2].Get()) = VT_BSTR;
    V_BSTR(args[2].Get()) = SysAllocString(L"by name client");
    VARIANT raw[3] = {*args[0].Get(), *args[1].Get(), *args[2].Get()};
    DISPPARAMS params = {raw, nullptr, 3, 0};
    CHECK(dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                           nullptr) == S_OK);
    const std::vector<StandInConnectRecord> records = ReadStandInConnects();
    REQUIRE(records.size() == 1);
    REQUIRE(records[0].arguments.size() == 3);
    CHECK(records[0].arguments[0].text == L"by name client");
    CHECK(records[0].arguments[1].text == L"by name user");
    CHECK(records[0].arguments[2].type == VT_I4);
    CHECK(records[0].arguments[2].text == L"7");

    UniqueVariant serial;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    REQUIRE(dispatch->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, serial.Get(), nullptr,
                             nullptr) == S_OK);
    CHECK(V_VT(serial.Get()) == VT_I4);
    CHECK(V_I4(serial.Get()) == SerialOf(server.Get()));
}

namespace {

std::wstring ClassKey(const CLSID& clsid) {
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

std::wstring RegisteredServerExe() {
    std::wstring server = ReadRegString(HKEY_CLASSES_ROOT, ClassKey(CLSID_QuarnSvrDirections) + L"\\LocalServer32",
                                        nullptr);
    REQUIRE(server.size() > 2);
    REQUIRE(server.front() == L'"');
    return server.substr(1, server.find(L'"', 1) - 1);
}

DWORD RunServerExe(const std::wstring& exe, const wchar_t* option) {
    std::wstring command = L"\"" + exe + L"\" " + option;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    REQUIRE(CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process));
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

bool TypeLibRegistered() {
    ComPtr<ITypeLib> library;
    wchar_t text[40];
    StringFromGUID2(IID_IQuarnSvrDirections, text, 40);
    return SUCCEEDED(LoadRegTypeLib(LIBID_QuarnStandIns, 1, 0, LOCALE_NEUTRAL, library.Receive())) &&
           KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + text);
}

}  // namespace

TEST_CASE("unregistering one stand-in module keeps the type library the other one needs") {
    const std::wstring exe = RegisteredServerExe();
    const std::wstring dll =
        ReadRegString(HKEY_CLASSES_ROOT, ClassKey(CLSID_QuarnCtlDocument) + L"\\InprocServer32", nullptr);
    REQUIRE(TypeLibRegistered());

    REQUIRE(RunServerExe(exe, L"/UnregServer") == 0);
    CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(CLSID_QuarnSvrDirections)));
    CHECK(TypeLibRegistered());
    REQUIRE(RunServerExe(exe, L"/RegServer") == 0);
    CHECK(RegisteredServerExe() == exe);

    UniqueModule module(LoadLibraryW(dll.c_str()));
    REQUIRE(module);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = [&module](const char* name) {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
    };
    const auto unregister = entry("DllUnregisterServer");
    const auto reregister = entry("DllRegisterServer");
    REQUIRE((unregister != nullptr && reregister != nullptr));
    Control alive = NewControl(StandInKind::CtlDirections);
    const long live = StandInLiveObjects(StandInKind::CtlDirections);
    REQUIRE(live >= 1);
    REQUIRE(unregister() == S_OK);
    for (StandInKind kind : kControls) CHECK_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(StandInKindClsid(kind))));
    CHECK(TypeLibRegistered());
    // The counters of objects still alive outlast the unregistration.
    CHECK(StandInLiveObjects(StandInKind::CtlDirections) == live);
    alive.object.Reset();
    CHECK(StandInLiveObjects(StandInKind::CtlDirections) == live - 1);
    REQUIRE(reregister() == S_OK);
    CHECK(ReadRegString(HKEY_CLASSES_ROOT, ClassKey(CLSID_QuarnCtlDocument) + L"\\InprocServer32", nullptr) == dll);
    CHECK(TypeLibRegistered());

    // The last module to go takes the type library with it.
    REQUIRE(unregister() == S_OK);
    CHECK(RunServerExe(exe, L"/UnregServer") == 0);
    CHECK_FALSE(TypeLibRegistered());
    REQUIRE(RunServerExe(exe, L"/RegServer") == 0);
    REQUIRE(reregister() == S_OK);
    CHECK(TypeLibRegistered());
}

TEST_CASE("registration: local server and in-process classes, interfaces marshaled by the type library") {
    CHECK(GetFileAttributesW(RegisteredServerExe().c_str()) != INVALID_FILE_ATTRIBUTES);

    for (StandInKind kind : kControls) {
        CAPTURE(StandInKindName(kind));
        const std::wstring inproc = ClassKey(StandInKindClsid(kind)) + L"\\InprocServer32";
        CHECK(GetFileAttributesW(ReadRegString(HKEY_CLASSES_ROOT, inproc, nullptr).c_str()) !=
              INVALID_FILE_ATTRIBUTES);
        CHECK(ReadRegString(HKEY_CLASSES_ROOT, inproc, L"ThreadingModel") == L"Apartment");
    }

    static const IID* const kInterfaces[] = {&IID_IQuarnSvrDirections, &IID_IQuarnCtlDirections,
                                             &IID_IQuarnCtlDocument, &IID_IQuarnCtlDictDocument};
    for (const IID* iid : kInterfaces) {
        wchar_t text[40];
        StringFromGUID2(*iid, text, 40);
        CAPTURE(std::string(text, text + 38));
        CHECK(ReadRegString(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + text + L"\\ProxyStubClsid32",
                            nullptr) == L"{00020424-0000-0000-C000-000000000046}");
    }
    ComPtr<ITypeLib> library;
    CHECK(LoadRegTypeLib(LIBID_QuarnStandIns, 1, 0, LOCALE_NEUTRAL, library.Receive()) == S_OK);
}
