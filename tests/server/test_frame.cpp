// Class objects, object identity, aggregation and unloading of quarnver.dll.
#include <doctest/doctest.h>
#include <atomic>
#include <thread>
#include "import_patch.h"
#include "quarnver_module.h"

namespace {
// A controlling object that aggregates Quarn5About and hands out its
// interfaces as its own.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner && ((InlineIsEqualGUID(iid, IID_IQuarn5About) && !refuseAbout) || InlineIsEqualGUID(iid, IID_IDispatch)))
            return inner->QueryInterface(iid, ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    ULONG refs = 1;
    IUnknown* inner = nullptr;
    bool refuseAbout = false;  // exposes the inner IDispatch only
};

template <typename T>
void* Query(IUnknown* object, REFIID iid, HRESULT* hr) {
    void* p = reinterpret_cast<void*>(0xdeadbeef);
    *hr = object->QueryInterface(iid, &p);
    if (SUCCEEDED(*hr)) static_cast<IUnknown*>(p)->Release();
    return p;
}
}  // namespace

TEST_CASE("class objects: unknown classes, caching, null out pointers") {
    QuarnverModule dll;
    REQUIRE(dll.Handle());

    void* out = reinterpret_cast<void*>(0xdeadbeef);
    CHECK(dll.GetClassObject(IID_IQuarn5Logon, IID_IClassFactory, &out) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(out == nullptr);
    CHECK(dll.GetClassObject(CLSID_Quarn5Logon, IID_IClassFactory, nullptr) == E_POINTER);

    out = reinterpret_cast<void*>(0xdeadbeef);
    CHECK(dll.GetClassObject(CLSID_Quarn5Logon, IID_IDispatch, &out) == E_NOINTERFACE);
    CHECK(out == nullptr);

    ComPtr<IClassFactory> first = dll.Factory(CLSID_Quarn5Logon);
    ComPtr<IClassFactory> second = dll.Factory(CLSID_Quarn5Logon);
    ComPtr<IClassFactory> about = dll.Factory(CLSID_Quarn5About);
    REQUIRE(first);
    CHECK(first.Get() == second.Get());
    CHECK(about.Get() != first.Get());

    ComPtr<IUnknown> unknown;
    CHECK(first->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()) == S_OK);
    CHECK(unknown.Get() == static_cast<IUnknown*>(first.Get()));
    CHECK(first->CreateInstance(nullptr, IID_IQuarn5Logon, nullptr) == E_POINTER);
}

TEST_CASE("the library stays loaded while a client holds something") {
    QuarnverModule dll;
    CHECK(dll.CanUnloadNow() == S_OK);

    SUBCASE("a class object") {
        ComPtr<IClassFactory> factory = dll.Factory(CLSID_Quarn5About);
        CHECK(dll.CanUnloadNow() == S_FALSE);
        ComPtr<IClassFactory> again = dll.Factory(CLSID_Quarn5About);
        again.Reset();
        CHECK(dll.CanUnloadNow() == S_FALSE);
        factory.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);  // the cached class object alone never holds it
    }
    SUBCASE("an object") {
        ComPtr<IQuarn5About> about = dll.Create<IQuarn5About>(CLSID_Quarn5About);
        REQUIRE(about);
        CHECK(dll.CanUnloadNow() == S_FALSE);
        about.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);
    }
    SUBCASE("LockServer, balanced and unbalanced") {
        ComPtr<IClassFactory> factory = dll.Factory(CLSID_Quarn5Logon);
        CHECK(factory->LockServer(TRUE) == S_OK);
        factory.Reset();
        CHECK(dll.CanUnloadNow() == S_FALSE);
        factory = dll.Factory(CLSID_Quarn5Logon);
        CHECK(factory->LockServer(FALSE) == S_OK);
        factory.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);

        // An unlock without a lock drives the count below zero.
        factory = dll.Factory(CLSID_Quarn5Logon);
        CHECK(factory->LockServer(FALSE) == S_OK);
        factory.Reset();
        CHECK(dll.CanUnloadNow() == S_FALSE);
        factory = dll.Factory(CLSID_Quarn5Logon);
        factory->LockServer(TRUE);
        factory.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);
    }
}

TEST_CASE("standalone objects answer their own interface, IDispatch and IUnknown with one pointer") {
    QuarnverModule dll;
    struct Row { const CLSID* clsid; const IID* iid; } rows[] = {
        {&CLSID_Quarn5Logon, &IID_IQuarn5Logon},
        {&CLSID_Quarn5About, &IID_IQuarn5About},
    };
    for (const Row& row : rows) {
        ComPtr<IUnknown> object;
        REQUIRE(dll.Factory(*row.clsid)->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()) == S_OK);
        HRESULT hr;
        void* own = Query<IUnknown>(object.Get(), *row.iid, &hr);
        CHECK(hr == S_OK);
        CHECK(own == object.Get());
        CHECK(Query<IUnknown>(object.Get(), IID_IDispatch, &hr) == own);
        CHECK(Query<IUnknown>(object.Get(), IID_ISupportErrorInfo, &hr) == nullptr);
        CHECK(hr == E_NOINTERFACE);
        CHECK(object->QueryInterface(IID_IUnknown, nullptr) == E_POINTER);

        // A refused interface at creation destroys the new object again.
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        CHECK(dll.Factory(*row.clsid)->CreateInstance(nullptr, IID_IClassFactory, &out) == E_NOINTERFACE);
        CHECK(out == nullptr);
    }
    CHECK(dll.CanUnloadNow() == S_OK);
}

TEST_CASE("aggregation: accepted for Quarn5About only, and only for IUnknown") {
    QuarnverModule dll;
    Outer outer;
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    CHECK(dll.Factory(CLSID_Quarn5Logon)->CreateInstance(&outer, IID_IUnknown, &out) == CLASS_E_NOAGGREGATION);
    CHECK(out == nullptr);
    for (const CLSID* clsid : {&CLSID_Quarn5Logon, &CLSID_Quarn5About}) {
        out = reinterpret_cast<void*>(0xdeadbeef);
        CHECK(dll.Factory(*clsid)->CreateInstance(&outer, IID_IQuarn5About, &out) == CLASS_E_NOAGGREGATION);
        CHECK(out == nullptr);
    }

    IUnknown* inner = nullptr;
    REQUIRE(dll.Factory(CLSID_Quarn5About)->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)) == S_OK);
    outer.inner = inner;
    CHECK(dll.CanUnloadNow() == S_FALSE);

    // The outer object hands out the inner interfaces; they delegate to it.
    IQuarn5About* about = nullptr;
    REQUIRE(outer.QueryInterface(IID_IQuarn5About, reinterpret_cast<void**>(&about)) == S_OK);
    CHECK(static_cast<IUnknown*>(about) != inner);
    IDispatch* dispatch = nullptr;
    REQUIRE(about->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == S_OK);
    CHECK(static_cast<IUnknown*>(dispatch) == static_cast<IUnknown*>(about));
    IUnknown* identity = nullptr;
    REQUIRE(about->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)) == S_OK);
    CHECK(identity == static_cast<IUnknown*>(&outer));
    const ULONG before = outer.refs;
    about->AddRef();
    CHECK(outer.refs == before + 1);
    about->Release();
    identity->Release();
    dispatch->Release();
    about->Release();

    // Through an interface the outer object hands out, what it refuses stays refused.
    outer.refuseAbout = true;
    const ULONG held = outer.refs;
    REQUIRE(outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == S_OK);
    void* refused = reinterpret_cast<void*>(0xdeadbeef);
    CHECK(dispatch->QueryInterface(IID_IQuarn5About, &refused) == E_NOINTERFACE);
    CHECK(refused == nullptr);
    dispatch->Release();
    CHECK(outer.refs == held);
    outer.refuseAbout = false;

    // The inner object's own IUnknown answers from its own interface map.
    IQuarn5About* direct = nullptr;
    CHECK(inner->QueryInterface(IID_IQuarn5About, reinterpret_cast<void**>(&direct)) == S_OK);
    CHECK(direct != nullptr);
    if (direct) direct->Release();

    outer.inner = nullptr;
    CHECK(inner->Release() == 0);
    CHECK(dll.CanUnloadNow() == S_OK);
}

TEST_CASE("threads racing on the first request get one class object") {
    for (int round = 0; round < 5; ++round) {
        QuarnverModule dll;  // a fresh load: nothing cached yet
        IUnknown* seen[4] = {};
        std::thread threads[4];
        for (int i = 0; i < 4; ++i) {
            threads[i] = std::thread([&dll, &seen, i] {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                dll.GetClassObject(CLSID_Quarn5Logon, IID_IUnknown, reinterpret_cast<void**>(&seen[i]));
                CoUninitialize();
            });
        }
        for (auto& t : threads) t.join();
        for (int i = 0; i < 4; ++i) {
            REQUIRE(seen[i] != nullptr);
            CHECK(seen[i] == seen[0]);
        }
        for (IUnknown* p : seen) p->Release();
        CHECK(dll.CanUnloadNow() == S_OK);
    }
}

namespace {
// Stretches the library's one-time initialisations (the type information
// each interface loads once) so that racing threads meet inside them.
std::atomic<int> g_onceCalls{0};
void* g_initOnce = nullptr;  // the import's original target

BOOL WINAPI SlowInitOnceExecuteOnce(INIT_ONCE* once, PINIT_ONCE_FN function, void* parameter, void** context) {
    ++g_onceCalls;
    static thread_local DWORD calls = 0;
    Sleep((GetCurrentThreadId() + calls++) % 3);
    return reinterpret_cast<decltype(&InitOnceExecuteOnce)>(g_initOnce)(once, function, parameter, context);
}
}  // namespace

TEST_CASE("threads racing on a fresh library share class objects and leave it unloadable") {
    constexpr int kThreads = 8;
    for (int round = 0; round < 60; ++round) {
        CAPTURE(round);
        QuarnverModule dll;  // a fresh load: nothing made yet
        REQUIRE(dll.Handle());
        ImportPatch once(dll.Handle(), "kernel32.dll", "InitOnceExecuteOnce",
                         reinterpret_cast<void*>(&SlowInitOnceExecuteOnce));
        REQUIRE(once.Patched());
        g_initOnce = once.Original();
        g_onceCalls = 0;

        IUnknown* seen[kThreads] = {};
        HRESULT created[kThreads] = {};
        ITypeInfo* typeInfo[kThreads] = {};
        std::atomic<int> waiting{kThreads};
        std::thread threads[kThreads];
        for (int i = 0; i < kThreads; ++i) {
            threads[i] = std::thread([&, i] {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                --waiting;
                while (waiting > 0) SwitchToThread();  // all go at once
                Sleep(static_cast<DWORD>(i % 3));
                const CLSID& clsid = i % 2 ? CLSID_Quarn5About : CLSID_Quarn5Logon;
                IClassFactory* factory = nullptr;
                dll.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
                seen[i] = factory;
                if (factory) {
                    IDispatch* object = nullptr;
                    created[i] = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
                    if (object) {
                        object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &typeInfo[i]);
                        object->Release();
                    }
                    factory->Release();
                }
                CoUninitialize();
            });
        }
        for (auto& t : threads) t.join();
        for (int i = 0; i < kThreads; ++i) {
            CAPTURE(i);
            CHECK(seen[i] != nullptr);
            CHECK(seen[i] == seen[i % 2]);
            CHECK(created[i] == S_OK);
            // One type information per interface, loaded once for all threads.
            CHECK(typeInfo[i] != nullptr);
            CHECK(typeInfo[i] == typeInfo[i % 2]);
        }
        CHECK(g_onceCalls > 0);
        for (ITypeInfo* info : typeInfo)
            if (info) info->Release();
        CHECK(dll.CanUnloadNow() == S_OK);
        ComPtr<IClassFactory> again = dll.Factory(CLSID_Quarn5Logon);
        CHECK(again.Get() == seen[0]);
        ComPtr<IQuarn5Logon> logon;
        CHECK(again->CreateInstance(nullptr, IID_IQuarn5Logon, logon.ReceiveVoid()) == S_OK);
        logon.Reset();
        again.Reset();
        CHECK(dll.CanUnloadNow() == S_OK);
    }
}
