#include "about/about_dialog.h"
#include <new>
#include "about/notice_list.h"
#include "about/single_string_format.h"
#include "common/product_folders.h"
#include "common/version_info.h"
#include "resources/resource.h"

namespace {
// Language and code page of the version block the file version is read from:
// English (United States), Windows Latin 1.
const DWORD kVersionLanguage = 0x040904E4;
const int kTitleCapacity = 1024;

}  // namespace

AboutDialog::AboutDialog(HMODULE hostModule, LONG titleId, LONG iconId)
    : Dialog(IDD_ABOUT, nullptr), m_hHostModule(hostModule), m_nIconId(iconId), m_nTitleId(titleId) {}

AboutDialog::~AboutDialog() = default;

void AboutDialog::BindControls() {
    Bind(IDC_ABOUT_TITLE, m_labelTitle);
    Bind(IDC_ABOUT_NOTICES, m_editNotices);
    Bind(IDC_ABOUT_NOTICE_BOX, m_groupNotices);
    Bind(IDC_ABOUT_ICON, m_iconHost);
}

BOOL AboutDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    ShowTitle();
    // Running out of memory while building texts leaves the lines concerned
    // as they are; nothing may leave the dialog procedure as an exception.
    try {
        ShowVersion();
    } catch (const std::bad_alloc&) {
    }
    std::wstring noticeList;
    try {
        noticeList = BuildNoticeList(GetProductFolder(L"Setup"));
    } catch (const std::bad_alloc&) {
        noticeList.clear();
    }
    ShowNotices(noticeList);
    // Screen readers name the list after the static text before it, passing
    // over the group box: the copyright line. A hidden label with the box's
    // title comes in between.
    AddHiddenLabel(m_editNotices.Handle(), GetItemTextW(Handle(), IDC_ABOUT_NOTICE_BOX));
    return TRUE;
}

void AboutDialog::ShowScaledImages() {
    ShowIcon();
    if (m_bNoNotices) CutBelowTexts();
    // A new scale brings every control the plain font of that scale.
    MakeTitleBold();
}

void AboutDialog::OnDestroy() {
    // The title and icon controls are gone with the window; the font and the
    // icon they showed are free.
    m_fontTitle.Reset();
    m_hIconHost.Reset();
}

void AboutDialog::ShowIcon() {
    UniqueIcon icon = LoadIconForDpi(m_hHostModule, LOWORD(m_nIconId));
    if (!icon) return;
    m_iconHost.Send(STM_SETICON, reinterpret_cast<WPARAM>(icon.Get()), 0);
    m_hIconHost = std::move(icon);
}

void AboutDialog::ShowTitle() {
    // The string replaces the whole template text; it is never used as a
    // format. Read as UTF-16 so that it arrives intact on any code page.
    wchar_t title[kTitleCapacity] = {};
    if (LoadStringW(m_hHostModule, static_cast<UINT>(m_nTitleId), title, kTitleCapacity) > 0)
        SetWindowTextW(m_labelTitle.Handle(), title);
}

void AboutDialog::MakeTitleBold() {
    const HFONT dialogFont = Font();
    LOGFONTW face;
    if (!dialogFont || GetObjectW(dialogFont, sizeof face, &face) != sizeof face) return;
    face.lfWeight = FW_BOLD;
    UniqueGdiObject bold(CreateFontIndirectW(&face));
    if (!bold) return;
    m_labelTitle.Send(WM_SETFONT, reinterpret_cast<WPARAM>(bold.Get()), TRUE);
    // Whatever font an earlier run showed is no longer in use.
    m_fontTitle = std::move(bold);
}

void AboutDialog::ShowVersion() {
    std::wstring fileVersion;
    {
        VersionInfo version;
        if (!version.LoadFromModule(m_hHostModule)) return;
        fileVersion = version.GetString(L"FileVersion", kVersionLanguage);
    }
    // The template text "Версия %s" is read and written as UTF-16: a narrow
    // round trip would turn it into question marks on a code page without
    // Cyrillic letters.
    const std::wstring format = GetItemTextW(Handle(), IDC_ABOUT_VERSION);
    SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, FormatSingleString(format, fileVersion).c_str());
}

void AboutDialog::ShowNotices(const std::wstring& noticeList) {
    m_bNoNotices = noticeList.empty();
    if (!m_bNoNotices) SetWindowTextW(m_editNotices.Handle(), noticeList.c_str());
}

void AboutDialog::CutBelowTexts() {
    // 8 pixels (at 96 DPI) above the group box, so that the box and the list
    // lie below the dialog's lower edge.
    RECT dialog;
    RECT box;
    if (!GetWindowRect(Handle(), &dialog) || !GetWindowRect(m_groupNotices.Handle(), &box)) return;
    SetWindowPos(Handle(), nullptr, 0, 0, dialog.right - dialog.left, (box.top - ScaleForDpi(8)) - dialog.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
}
