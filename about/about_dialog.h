// The About box: dialog template 100 of this library, filled from the calling
// executable (title string, icon, file version) and from the *.acr files of
// the product's setup folder. It has no buttons; IDOK and IDCANCEL (Enter,
// Escape, the close box) end it.
#pragma once
#include <windows.h>
#include <string>
#include "common/dialog.h"
#include "common/unique_handle.h"

class AboutDialog : public Dialog {
public:
    // hostModule: the module the title string, the icon and the version
    // information come from. Only the low 16 bits of iconId are used: an
    // integer resource ID is a 16-bit number, and a larger value handed on
    // would be taken for the address of a resource name.
    AboutDialog(HMODULE hostModule, LONG titleId, LONG iconId);
    ~AboutDialog() override;

protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    // The host's icon, the title in the bold copy of the font of the box's
    // scale and, without notices, the margin below the texts.
    void ShowScaledImages() override;
    void OnDestroy() override;

private:
    void ShowIcon();
    void ShowTitle();
    void MakeTitleBold();
    void ShowVersion();
    void ShowNotices(const std::wstring& noticeList);
    void CutBelowTexts();

    DialogItem m_labelTitle;
    DialogItem m_editNotices;
    DialogItem m_groupNotices;
    DialogItem m_iconHost;
    HMODULE m_hHostModule;
    LONG m_nIconId;
    LONG m_nTitleId;
    // Nothing to list: the box ends above the notices' group box.
    bool m_bNoNotices = false;
    // The bold copy of the dialog font that the title line shows; released
    // once the window (and with it the title control) is gone.
    UniqueGdiObject m_fontTitle;
    // The icon that control 1003 shows, loaded for the box's DPI.
    UniqueIcon m_hIconHost;
};
