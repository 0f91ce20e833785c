#include "common/dialog.h"
#include <vector>
#include "common/com_call_guard.h"
#include "common/resource_module.h"

void DataExchange::Control(int id, DialogItem& item) const {
    item.Attach(GetDlgItem(m_hDlg, id));
}

std::wstring GetItemTextW(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return std::wstring();
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void DataExchange::Text(int id, std::wstring& value) const {
    if (m_bSaving)
        value = GetItemTextW(m_hDlg, id);
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
    const INT_PTR result = DialogBoxParamW(m_hResourceModule, MAKEINTRESOURCEW(m_nTemplateId), m_hParent,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
    return FAILED(m_hrFailure) ? -1 : result;
}

void Dialog::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
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
    case WM_INITDIALOG:
        return OnInitDialog();
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
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        OnDestroy();
        m_hWnd = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
