// Keeps an object and the library alive for the length of a call that runs a
// modal loop (a dialog, a cross-process call). The loop dispatches the host's
// messages, and a host may let go of its last reference from one of them, or
// ask COM to unload unused libraries: the object then goes, and the library
// may go, only once the call has returned.
#pragma once
#include <unknwn.h>

// The reference alone is enough: every live object holds a module lock,
// which it gives back only once it is deleted, so the library stays too.
class CallKeepAlive {
public:
    explicit CallKeepAlive(IUnknown* object) : m_pObject(object) { m_pObject->AddRef(); }
    ~CallKeepAlive() { m_pObject->Release(); }
    CallKeepAlive(const CallKeepAlive&) = delete;
    CallKeepAlive& operator=(const CallKeepAlive&) = delete;

private:
    IUnknown* m_pObject;
};
