// The modal dialog in which the user confirms or changes the user name, the
// password and the server computer before the logon object connects. The
// flag word decides which rows can be changed; one that opens none asks
// nothing, and the logon then runs without the dialog.
#pragma once
#include <windows.h>
#include <array>
#include <string>
#include "common/dialog.h"
#include "common/unique_handle.h"

// Bits of the flag word.
enum LogonLevelBits : LONG {
    kLevelUser = 1,      // the user row can be changed
    kLevelServer = 2,    // the server row and the browse button can be changed
    kLevelPassword = 4,  // the password row can be changed
    kLevelNoRemember = 8 // nothing goes to the settings store
};

class LogonDialog : public Dialog {
public:
    LogonDialog();

    // Set before DoModal; on IDOK the three strings hold what the fields held,
    // disabled rows included. Otherwise they stay as they were set.
    LONG m_lLevel = 0;
    // The organisation fixes the server: its row stays closed whatever the
    // flag word says.
    bool m_bServerFixed = false;
    SecretString m_wstrPassword;
    std::wstring m_wstrServer;
    std::wstring m_wstrUser;

    // True when m_lLevel opens a row, so that there is something to ask the
    // user; otherwise the logon is silent and the dialog is not run.
    bool HasOpenRow() const { return OpenRows() != 0; }

protected:
    void BindControls() override;
    void DoDataExchange(DataExchange& dx) override;
    BOOL OnInitDialog() override;
    void ShowScaledImages() override;
    void ShowSystemColours() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    // The row bits of the flag word that the user may change.
    LONG OpenRows() const;
    // Disables every row that is not open.
    void EnableControls();
    // Lets the user pick the server computer in the shell's computer browser.
    void OnBrowse();
    // The template's three icon controls (server, password, user rows), in
    // its order; null where one is missing.
    std::array<HWND, 3> RowIcons() const;
    // The row icons and the browse button's glyph in the sizes of Dpi().
    void ShowRowIcons();
    void ShowBrowseGlyph();
    // Gives the browse button, which shows only a picture, a name that
    // accessibility tools read and the same text as a tooltip.
    void NameBrowseButton();

    DialogItem m_btnBrowse;
    DialogItem m_editUser;
    DialogItem m_editPassword;
    DialogItem m_editServer;
    DialogItem m_labelUser;
    DialogItem m_labelServer;
    DialogItem m_labelPassword;
    // The browse button's image and the row icons (server, password, user);
    // they live as long as the dialog object.
    UniqueGdiObject m_bmpBrowse;
    std::array<UniqueIcon, 3> m_iconRows;
};
