#include "common/accessible_names.h"
#include "common/resource_module.h"

void DecorativeControls::Add(HWND control) {
    if (!control) return;
    if (!m_services &&
        FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                m_services.ReceiveVoid())))
        return;
    if (!m_services) return;
    // Listed first, so that no annotation is made that Clear would not take back.
    m_controls.push_back(control);
    if (FAILED(m_services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME, L"")))
        m_controls.pop_back();
}

void DecorativeControls::Clear() {
    for (HWND control : m_controls)
        m_services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &PROPID_ACC_NAME, 1);
    m_controls.clear();
    m_services.Reset();
}

void AddHiddenLabel(HWND control, const std::wstring& text) {
    const HWND parent = control ? GetParent(control) : nullptr;
    if (!parent || text.empty()) return;
    const HWND label = CreateWindowExW(0, L"Static", text.c_str(), WS_CHILD | SS_LEFT, 0, 0, 0, 0, parent, nullptr,
                                       ThisModule(), nullptr);
    if (!label) return;
    // In the dialog's font, as the labels of its template are.
    SendMessageW(label, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
    const HWND before = GetWindow(control, GW_HWNDPREV);
    SetWindowPos(label, before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
