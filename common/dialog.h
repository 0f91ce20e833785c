// The least modal-dialog base the library's two dialogs need: a modal run from
// a template of the current resource module, control binding, and data
// exchange in both directions through one DoDataExchange.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "common/accessible_names.h"
#include "common/dpi_awareness.h"
#include "common/secret_string.h"
#include "common/unique_handle.h"

// A control of a running dialog, bound by DataExchange::Control.
class DialogItem {
public:
    HWND Handle() const { return m_hWnd; }
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    void Detach() { m_hWnd = nullptr; }
    void Enable(bool enable) const { if (m_hWnd) EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return m_hWnd ? SendMessageW(m_hWnd, msg, wParam, lParam) : 0;
    }

private:
    HWND m_hWnd = nullptr;
};

// Moves data between a dialog's controls and its fields. When saving, values
// flow from the controls into the fields; otherwise the other way.
class DataExchange {
public:
    DataExchange(HWND dialog, bool saving) : m_hDlg(dialog), m_bSaving(saving) {}
    bool Saving() const { return m_bSaving; }
    void Text(int id, std::wstring& value) const;
    // A secret's text (a password row): no copy of it outlives the exchange.
    void Text(int id, SecretString& value) const;

private:
    HWND m_hDlg;
    bool m_bSaving;
};

// A control's text; empty when the control is missing. The scratch buffer is
// wiped, so reading a password row leaves only the returned copy.
std::wstring GetItemTextW(HWND dialog, int id);

class Dialog {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally from the template in the current resource
    // module, owned by the parent or, without one, by DialogOwner()
    // (common/dialog_owner.h); returns the code given to EndDialog, or -1 when
    // the dialog could not be created or a handler could not go on (then
    // Failure() tells why).
    [[nodiscard]] INT_PTR DoModal();
    // Why a handler of the last DoModal could not go on; S_OK when none failed.
    HRESULT Failure() const { return m_hrFailure; }
    HWND Handle() const { return m_hWnd; }
    void EndDialog(INT_PTR result);
    // The dots per inch the running dialog's images are chosen for, and a
    // length given in pixels at 96 DPI scaled to it.
    UINT Dpi() const;
    int ScaleForDpi(int pixels) const { return MulDiv(pixels, static_cast<int>(Dpi()), 96); }
    // Icon `id` of `module` in the icon size of the dialog's DPI, from the
    // image nearest to it; null when it does not load.
    UniqueIcon LoadIconForDpi(HINSTANCE module, UINT id) const;
    // Runs DoDataExchange; true moves the controls into the fields.
    void UpdateData(bool saveAndValidate);

protected:
    // Binds the control members, once, before OnInitDialog.
    virtual void BindControls() {}
    void Bind(int id, DialogItem& item) const { item.Attach(GetDlgItem(m_hWnd, id)); }
    virtual void DoDataExchange(DataExchange& dx) {}
    // Base: fields into the controls; TRUE lets the dialog manager set the focus.
    // The base then centres the dialog, unless its template centres it or
    // OnInitDialog called KeepPlacement, and only then chooses its images.
    virtual BOOL OnInitDialog();
    // Tells the base that the dialog placed itself and must not be moved.
    void KeepPlacement() { m_bPlaced = true; }
    // Shows the images and sizes that depend on Dpi(): once the dialog is
    // placed, and again whenever it moves to a screen of another scale, once
    // its controls and fonts have been brought to that scale.
    virtual void ShowScaledImages() {}
    // Redraws what is drawn in the system's colours once they or the theme
    // changed while the dialog is open (a high-contrast scheme turned on).
    virtual void ShowSystemColours() {}
    // Screen readers pass over the control, a picture that only decorates,
    // until the dialog is destroyed.
    void MarkDecorative(HWND control) { m_decorative.Add(control); }
    // The font the controls show at the dialog's scale.
    HFONT Font() const;
    // Base: controls into the fields, then end with IDOK.
    virtual void OnOK();
    virtual void OnCancel();
    // A WM_COMMAND other than IDOK and IDCANCEL; true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control) { return false; }
    // Called once the window is gone, before DoModal returns.
    virtual void OnDestroy() {}

private:
    // The one window procedure of the library's dialogs. Every handler runs
    // inside its exception barrier: a handler that throws ends the dialog as
    // a failure, never as IDOK.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // WM_DPICHANGED, answered as the dialog's awareness asks.
    INT_PTR OnDpiChanged(UINT dpi, const RECT* suggested);
    // Keeps every control's place and the dialog manager's font as the
    // dialog opened, at the scale it opened at.
    void TakeLayout();
    // Places every control and gives each the dialog's font at the scale
    // `to`, from the layout taken when the dialog opened, never from what an
    // earlier change made of it: rounding cannot add up, and a return to a
    // scale puts every control back exactly.
    void ScaleControls(UINT to);

    UINT m_nTemplateId;
    HWND m_hParent;
    HWND m_hWnd = nullptr;
    HINSTANCE m_hResourceModule = nullptr;
    HRESULT m_hrFailure = S_OK;
    UINT m_nDpi = 0;  // 0 until the images are first chosen
    bool m_bPlaced = false;
    // Fixed when the window is created, as the platform fixes it.
    DpiAwareness m_awareness = DpiAwareness::Stretched;
    // The font the dialog made for its controls at a scale other than the
    // one it opened at; the dialog manager's own font is theirs at that one.
    UniqueGdiObject m_fontScaled;
    // Where a control stood in the dialog's client area at the scale `dpi`.
    struct Placement {
        HWND control;
        RECT place;
        UINT dpi;
    };
    // Keyed by window, not by template order: a control made at run time
    // joins it, at the scale it is first met at.
    std::vector<Placement> m_layout;
    // The dialog manager's font and the scale the dialog opened at.
    LOGFONTW m_faceAtOpen = {};
    bool m_bHasFace = false;
    UINT m_nOpenDpi = 0;
    DecorativeControls m_decorative;
};
