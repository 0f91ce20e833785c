#include "logon/logon_dialog.h"
#include <shlobj.h>
#include <memory>
#include "common/resource_module.h"
#include "resources/resource.h"

namespace {
// Item identifier lists come from the shell's task allocator.
struct TaskMemFree {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
using UniqueItemIdList = std::unique_ptr<ITEMIDLIST, TaskMemFree>;

// Wide, so that the text shows whatever the ANSI code page.
std::wstring LoadStringResource(UINT id) {
    wchar_t buffer[512] = {};
    const int length = LoadStringW(CurrentResourceModule(), id, buffer, ARRAYSIZE(buffer));
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}
}  // namespace

LogonDialog::LogonDialog() : Dialog(IDD_LOGON) {}

void LogonDialog::DoDataExchange(DataExchange& dx) {
    dx.Control(IDC_LOGON_BROWSE, m_btnBrowse);
    dx.Control(IDC_LOGON_USER, m_editUser);
    dx.Control(IDC_LOGON_PASSWORD, m_editPassword);
    dx.Control(IDC_LOGON_SERVER, m_editServer);
    dx.Control(IDC_LOGON_USER_LABEL, m_labelUser);
    dx.Control(IDC_LOGON_SERVER_LABEL, m_labelServer);
    dx.Control(IDC_LOGON_PASSWORD_LABEL, m_labelPassword);
    dx.Text(IDC_LOGON_PASSWORD, m_wstrPassword);
    dx.Text(IDC_LOGON_SERVER, m_wstrServer);
    dx.Text(IDC_LOGON_USER, m_wstrUser);
}

BOOL LogonDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    if ((m_lLevel & (kLevelUser | kLevelServer | kLevelPassword)) == 0) {
        // Silent logon: the dialog ends before it is ever shown, and the
        // strings stay as they were set.
        EndDialog(IDOK);
        return TRUE;
    }
    EnableControls();
    UpdateData(false);
    m_bmpBrowse.Reset(LoadBitmapW(CurrentResourceModule(), MAKEINTRESOURCEW(IDB_BROWSE)));
    if (m_bmpBrowse)
        m_btnBrowse.Send(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpBrowse.Get()));
    return TRUE;
}

void LogonDialog::EnableControls() {
    if (!(m_lLevel & kLevelUser)) {
        m_labelUser.Enable(false);
        m_editUser.Enable(false);
    }
    if (!(m_lLevel & kLevelPassword)) {
        m_labelPassword.Enable(false);
        m_editPassword.Enable(false);
    }
    if (!(m_lLevel & kLevelServer)) {
        m_labelServer.Enable(false);
        m_editServer.Enable(false);
        m_btnBrowse.Enable(false);
    }
}

bool LogonDialog::OnCommand(WORD id, WORD code, HWND control) {
    if (id == IDC_LOGON_BROWSE && code == BN_CLICKED) {
        OnBrowse();
        return true;
    }
    return false;
}

void LogonDialog::OnBrowse() {
    // Rooted at the network neighbourhood; without it the browser starts at
    // the desktop.
    LPITEMIDLIST network = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(Handle(), CSIDL_NETWORK, &network))) network = nullptr;
    UniqueItemIdList root(network);

    const std::wstring title = LoadStringResource(IDS_BROWSE_TITLE);
    // What the user has typed so far must survive the browser.
    UpdateData(true);

    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = Handle();
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_BROWSEFORCOMPUTER;
    UniqueItemIdList chosen(SHBrowseForFolderW(&info));
    if (!chosen) return;
    m_wstrServer = displayName;
    UpdateData(false);
}
