#include "common/dialog.h"
#include <algorithm>
#include <vector>
#include "common/activation_context.h"
#include "common/com_call_guard.h"
#include "common/dialog_owner.h"
#include "common/resource_module.h"

namespace {
// Posted by a per-monitor v2 dialog to itself on WM_DPICHANGED, so that its
// images follow once the dialog manager's default handling has run; wParam
// is the new DPI.
constexpr UINT kShowScaledImagesMessage = WM_APP + 1;

// Places a dialog where the user is looking: centred on its owner, or without
// one on the work area of the monitor that holds the thread's active window
// (else the cursor), and in either case inside that monitor's work area.
void CentreDialog(HWND dialog) {
    RECT window;
    if (!GetWindowRect(dialog, &window)) return;
    const HWND owner = GetWindow(dialog, GW_OWNER);
    RECT around;
    const bool onOwner = owner && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &around);
    HMONITOR monitor;
    if (onOwner) {
        monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    } else if (const HWND active = GetActiveWindow(); active && active != dialog) {
        monitor = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
    } else {
        POINT cursor = {0, 0};
        GetCursorPos(&cursor);  // on failure: the monitor nearest the origin
        monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    }
    MONITORINFO info = {sizeof info};
    if (!GetMonitorInfoW(monitor, &info)) return;
    const RECT& work = info.rcWork;
    if (!onOwner) around = work;
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    const LONG centreX = around.left + (around.right - around.left - width) / 2;
    const LONG centreY = around.top + (around.bottom - around.top - height) / 2;
    // Clamped so that a dialog larger than the work area shows its top left.
    const LONG x = std::max(work.left, std::min(centreX, work.right - width));
    const LONG y = std::max(work.top, std::min(centreY, work.bottom - height));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// A control's rectangle in its dialog's client area.
RECT PlaceInDialog(HWND dialog, HWND control) {
    RECT place = {};
    if (GetWindowRect(control, &place)) MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}
}  // namespace

std::wstring GetItemTextW(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return std::wstring();
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, buffer.data(), length + 1);
    std::wstring text(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
    SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
    return text;
}

void DataExchange::Text(int id, std::wstring& value) const {
    if (m_bSaving)
        value = GetItemTextW(m_hDlg, id);
    else
        SetDlgItemTextW(m_hDlg, id, value.c_str());
}

void DataExchange::Text(int id, SecretString& value) const {
    if (m_bSaving)
        value = TakeSecret(GetItemTextW(m_hDlg, id));
    else
        SetDlgItemTextW(m_hDlg, id, value.c_str());
}

Dialog::Dialog(UINT templateId, HWND parent) : m_nTemplateId(templateId), m_hParent(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
    // The template comes from the module current now; every message handled
    // later runs with that same module current.
    m_hResourceModule = CurrentResourceModule();
    m_hrFailure = S_OK;
    m_nDpi = 0;
    m_bPlaced = false;
    m_layout.clear();
    m_nOpenDpi = 0;
    // The dialog and every control in it come from version 6 of the common
    // controls, whatever the host's manifest.
    ActivationScope isolation;
    // Without a parent of its own the dialog is modal to the host's window;
    // the dialog manager disables that window while the dialog runs and
    // enables it again only if it was enabled before.
    const HWND owner = m_hParent ? m_hParent : DialogOwner();
    const INT_PTR result = DialogBoxParamW(m_hResourceModule, MAKEINTRESOURCEW(m_nTemplateId), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    return FAILED(m_hrFailure) ? -1 : result;
}

void Dialog::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

UINT Dialog::Dpi() const {
    if (m_nDpi) return m_nDpi;
    if (const UINT dpi = WindowDpi(m_hWnd)) return dpi;
    // One DPI for the whole screen.
    int dpi = 0;
    if (const HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UniqueIcon Dialog::LoadIconForDpi(HINSTANCE module, UINT id) const {
    const int size = SystemMetricForDpi(SM_CXICON, Dpi());
    return UniqueIcon(
        static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

HFONT Dialog::Font() const {
    if (m_fontScaled) return static_cast<HFONT>(m_fontScaled.Get());
    return reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
}

void Dialog::UpdateData(bool saveAndValidate) {
    DataExchange dx(m_hWnd, saveAndValidate);
    DoDataExchange(dx);
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK Dialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!self) return FALSE;
    ResourceModuleScope scope(self->m_hResourceModule);
    INT_PTR result = FALSE;
    const HRESULT hr = GuardComCall([&] {
        result = self->HandleMessage(msg, wParam, lParam);
        return S_OK;
    });
    if (SUCCEEDED(hr)) return result;
    // The first failure is the one reported; the dialog cannot go on.
    if (SUCCEEDED(self->m_hrFailure)) self->m_hrFailure = hr;
    if (msg == WM_NCDESTROY) {
        self->m_hWnd = nullptr;
        return FALSE;
    }
    ::EndDialog(hWnd, -1);
    return TRUE;
}

INT_PTR Dialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        BindControls();
        const BOOL result = OnInitDialog();
        if (!m_bPlaced && !(GetWindowLongW(m_hWnd, GWL_STYLE) & DS_CENTER)) CentreDialog(m_hWnd);
        // Placed, the dialog knows its screen, and with it its scale. The
        // window was created just now, with the thread's awareness.
        m_awareness = ThreadDpiAwareness();
        m_nDpi = Dpi();
        if (m_awareness == DpiAwareness::PerMonitor) TakeLayout();
        ShowScaledImages();
        return result;
    }
    case WM_DPICHANGED:
        return OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
    case kShowScaledImagesMessage:
        if (wParam == 0) return FALSE;
        m_nDpi = static_cast<UINT>(wParam);
        ShowScaledImages();
        return TRUE;
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) { OnOK(); return TRUE; }
        if (id == IDCANCEL && code == BN_CLICKED) { OnCancel(); return TRUE; }
        return OnCommand(id, code, reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    }
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    case WM_SYSCOLORCHANGE:
        // Only top-level windows hear of it; common controls must be told.
        for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
        ShowSystemColours();
        return FALSE;
    case WM_THEMECHANGED:
        ShowSystemColours();
        return FALSE;
    case WM_DESTROY:
        // The controls still exist; their annotations go before they do.
        m_decorative.Clear();
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        OnDestroy();
        // The controls that showed it are gone.
        m_fontScaled.Reset();
        m_layout.clear();
        m_hWnd = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR Dialog::OnDpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0 || !suggested) return FALSE;
    switch (m_awareness) {
    case DpiAwareness::PerMonitorV2:
        // The dialog manager sizes the dialog and re-lays out its controls
        // and fonts as its default handling, which runs only when the dialog
        // procedure returns FALSE; the images follow once it has run.
        PostMessageW(m_hWnd, kShowScaledImagesMessage, dpi, 0);
        return FALSE;
    case DpiAwareness::PerMonitor: {
        // No help from the dialog manager: the dialog takes the suggested
        // rectangle and scales its controls and fonts itself.
        SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        ScaleControls(dpi);
        m_nDpi = dpi;
        ShowScaledImages();
        return TRUE;
    }
    case DpiAwareness::Stretched:
        break;
    }
    // The system stretches the whole window; there is nothing to redo.
    return FALSE;
}

void Dialog::TakeLayout() {
    m_nOpenDpi = m_nDpi;
    m_layout.clear();
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        m_layout.push_back({child, PlaceInDialog(m_hWnd, child), m_nDpi});
    // The dialog's own font is the dialog manager's for as long as the
    // dialog runs; only the controls are given others.
    const auto font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    m_bHasFace = font && GetObjectW(font, sizeof m_faceAtOpen, &m_faceAtOpen) == sizeof m_faceAtOpen;
}

void Dialog::ScaleControls(UINT to) {
    if (m_nOpenDpi == 0 || m_nDpi == to) return;
    // The controls as they are now, each with its place in the layout; one
    // made since the layout was taken joins it as it stands, and one that is
    // gone leaves it.
    std::vector<Placement> layout;
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto known = std::find_if(m_layout.begin(), m_layout.end(),
                                         [child](const Placement& placement) { return placement.control == child; });
        layout.push_back(known != m_layout.end() ? *known : Placement{child, PlaceInDialog(m_hWnd, child), m_nDpi});
    }
    m_layout = std::move(layout);
    // Back at the opening scale the controls get the dialog manager's own
    // font again; at any other, its face at that scale.
    UniqueGdiObject font;
    HFONT shown = nullptr;
    if (to == m_nOpenDpi) {
        shown = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    } else if (m_bHasFace) {
        LOGFONTW face = m_faceAtOpen;
        face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(to), static_cast<int>(m_nOpenDpi));
        font.Reset(CreateFontIndirectW(&face));
        shown = static_cast<HFONT>(font.Get());
    }
    const int num = static_cast<int>(to);
    for (const Placement& placement : m_layout) {
        const int den = static_cast<int>(placement.dpi);
        const RECT& place = placement.place;
        SetWindowPos(placement.control, nullptr, MulDiv(place.left, num, den), MulDiv(place.top, num, den),
                     MulDiv(place.right - place.left, num, den), MulDiv(place.bottom - place.top, num, den),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        if (shown) SendMessageW(placement.control, WM_SETFONT, reinterpret_cast<WPARAM>(shown), TRUE);
    }
    // Every control shows the new font now; the one they showed before is free.
    if (shown) m_fontScaled = std::move(font);
}
