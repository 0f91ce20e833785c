// The stand-in translation server: objects of QuarnSvrDirections and their
// class object. The server EXE registers the class object for other
// processes; a test may register it in its own process (InProcessStandInServer)
// to see LockServer and Release calls that Wine's class-object proxy keeps to
// itself.
#pragma once
#include <windows.h>
#include <objbase.h>

// The one class object of QuarnSvrDirections in this process. It lives as
// long as the process; its reference count is kept for observation only.
class ServerClassFactory : public IClassFactory {
public:
    static ServerClassFactory& Instance();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // Current number of references held on the class object.
    long References() const;

private:
    ServerClassFactory() = default;
    volatile LONG m_references = 0;
};
