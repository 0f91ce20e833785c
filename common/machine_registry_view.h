// The machine's own registry values, as the calling thread reads them while a
// MachineRegistryView lives.
//
// Windows virtualizes the registry of a 32-bit interactive process whose
// manifest names no execution level ("Registry Virtualization"): its reads of
// HKEY_LOCAL_MACHINE\Software, all but Classes, Microsoft\Windows and
// Microsoft\Windows NT, see the user's virtual store
// (HKEY_CURRENT_USER\Software\Classes\VirtualStore\MACHINE\SOFTWARE\...)
// merged value by value over the machine's key, the virtual values first. Any
// standard user can write the virtual store, so a value the machine decides
// about trust is read through this view.
//
// A thread that impersonates is not virtualized. Where the process token has
// virtualization enabled (or cannot tell) and the calling thread does not
// impersonate, the view impersonates the process's own token on the thread
// (ImpersonateSelf) and reverts when it ends. The process token is never
// changed: the host's virtualization stays the host's. A thread that already
// impersonates reads as it is, on its own token; a process without
// virtualization reads as it is after one token query.
//
// NOTE: open, read and close every key inside the view; a handle used outside
// it may see the virtual store.
// NOTE: where reverting fails, the thread would go on running on the
// impersonation token, which the RevertToSelf page calls unfit and answers by
// ending the process; the view ends it then (RaiseFailFastException).
#pragma once

class MachineRegistryView {
public:
    MachineRegistryView();
    ~MachineRegistryView();
    MachineRegistryView(const MachineRegistryView&) = delete;
    MachineRegistryView& operator=(const MachineRegistryView&) = delete;

    // False when the thread had to impersonate and could not: what it reads
    // may come from the virtual store, so nothing read is to be trusted.
    bool Ready() const { return m_ready; }

private:
    bool m_ready = true;
    bool m_impersonating = false;
};
