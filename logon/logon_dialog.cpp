#include "logon/logon_dialog.h"
#include <commctrl.h>
#include <shlobj.h>
#include <algorithm>
#include <memory>
#include "common/activation_context.h"
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

// The magnifying glass of bitmap 208 drawn afresh for a screen of the given
// DPI in the system's colours: the rim and the handle in the button's text
// colour on its face, so that a high-contrast scheme shows them as it shows
// text; a lens with a light spot. A bitmap of fixed colours cannot follow:
// LR_LOADMAP3DCOLORS maps only the standard greys, and black ink would stay
// black on a black face.
HBITMAP DrawMagnifier(UINT dpi) {
    const double scale = dpi / 96.0;
    auto at = [scale](double pixels) { return static_cast<int>(pixels * scale + 0.5); };
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), at(16), at(15), 1, 32, BI_RGB};
    void* bits = nullptr;
    UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc) return nullptr;
    const HGDIOBJ oldBitmap = SelectObject(dc.Get(), bitmap.Get());
    const RECT all = {0, 0, at(16), at(15)};
    FillRect(dc.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));

    const LOGBRUSH ink = {BS_SOLID, GetSysColor(COLOR_BTNTEXT), 0};
    UniqueGdiObject handlePen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND, std::max(2, at(2.2)), &ink, 0, nullptr));
    UniqueGdiObject rimPen(CreatePen(PS_INSIDEFRAME, std::max(1, at(1)), ink.lbColor));
    UniqueGdiObject lens(CreateSolidBrush(RGB(0x00, 0xFF, 0xFF)));
    UniqueGdiObject spot(CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    const HGDIOBJ oldPen = SelectObject(dc.Get(), handlePen.Get());
    const HGDIOBJ oldBrush = SelectObject(dc.Get(), lens.Get());
    MoveToEx(dc.Get(), at(10.5), at(10.5), nullptr);
    LineTo(dc.Get(), at(14), at(13.5));
    SelectObject(dc.Get(), rimPen.Get());
    Ellipse(dc.Get(), at(1), at(1), at(12), at(12));
    SelectObject(dc.Get(), GetStockObject(NULL_PEN));
    SelectObject(dc.Get(), spot.Get());
    Ellipse(dc.Get(), at(3.5), at(3), at(5.5), at(5));
    SelectObject(dc.Get(), oldBrush);
    SelectObject(dc.Get(), oldPen);
    SelectObject(dc.Get(), oldBitmap);
    return static_cast<HBITMAP>(bitmap.Take());
}
}  // namespace

LogonDialog::LogonDialog() : Dialog(IDD_LOGON) {}

void LogonDialog::BindControls() {
    Bind(IDC_LOGON_BROWSE, m_btnBrowse);
    Bind(IDC_LOGON_USER, m_editUser);
    Bind(IDC_LOGON_PASSWORD, m_editPassword);
    Bind(IDC_LOGON_SERVER, m_editServer);
    Bind(IDC_LOGON_USER_LABEL, m_labelUser);
    Bind(IDC_LOGON_SERVER_LABEL, m_labelServer);
    Bind(IDC_LOGON_PASSWORD_LABEL, m_labelPassword);
}

void LogonDialog::DoDataExchange(DataExchange& dx) {
    dx.Text(IDC_LOGON_PASSWORD, m_wstrPassword);
    dx.Text(IDC_LOGON_SERVER, m_wstrServer);
    dx.Text(IDC_LOGON_USER, m_wstrUser);
}

BOOL LogonDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    EnableControls();
    NameBrowseButton();
    // The row icons repeat what their labels say.
    for (HWND icon : RowIcons()) MarkDecorative(icon);
    return TRUE;
}

void LogonDialog::ShowScaledImages() {
    ShowRowIcons();
    ShowBrowseGlyph();
}

void LogonDialog::ShowSystemColours() { ShowBrowseGlyph(); }

std::array<HWND, 3> LogonDialog::RowIcons() const {
    std::array<HWND, 3> icons = {};
    size_t row = 0;
    for (HWND child = GetWindow(Handle(), GW_CHILD); child && row < icons.size();
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, ARRAYSIZE(cls));
        if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icons[row++] = child;
    }
    return icons;
}

void LogonDialog::ShowRowIcons() {
    const UINT icons[] = {IDI_LOGON_SERVER, IDI_LOGON_PASSWORD, IDI_LOGON_USER};
    const std::array<HWND, 3> controls = RowIcons();
    for (size_t row = 0; row < controls.size() && controls[row]; ++row) {
        // An icon that does not load leaves the one the dialog manager showed.
        UniqueIcon icon = LoadIconForDpi(CurrentResourceModule(), icons[row]);
        if (!icon) continue;
        SendMessageW(controls[row], STM_SETICON, reinterpret_cast<WPARAM>(icon.Get()), 0);
        m_iconRows[row] = std::move(icon);
    }
}

void LogonDialog::ShowBrowseGlyph() {
    // Drawn at the scale's own size rather than a small picture in a large
    // button, and in the colours of the moment; bitmap 208 only when drawing
    // fails. The button lets go of the old image before it is deleted.
    UniqueGdiObject glyph(DrawMagnifier(Dpi()));
    if (!glyph) glyph.Reset(LoadBitmapW(CurrentResourceModule(), MAKEINTRESOURCEW(IDB_BROWSE)));
    if (!glyph) return;
    m_btnBrowse.Send(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(glyph.Get()));
    m_bmpBrowse = std::move(glyph);
}

void LogonDialog::NameBrowseButton() {
    const std::wstring name = LoadStringResource(IDS_BROWSE_NAME);
    if (name.empty()) return;
    // A bitmap button does not draw its text, but its text is its name.
    SetWindowTextW(m_btnBrowse.Handle(), name.c_str());
    ActivationScope isolation;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // Owned by the dialog, the tooltip goes with it.
    const HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                     ThisModule(), nullptr);
    if (!tip) return;
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(m_btnBrowse.Handle());
    tool.lpszText = const_cast<LPWSTR>(name.c_str());  // the tooltip keeps a copy
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

LONG LogonDialog::OpenRows() const {
    return m_lLevel & (kLevelUser | kLevelPassword | (m_bServerFixed ? 0L : static_cast<LONG>(kLevelServer)));
}

void LogonDialog::EnableControls() {
    const LONG open = OpenRows();
    if (!(open & kLevelUser)) {
        m_labelUser.Enable(false);
        m_editUser.Enable(false);
    }
    if (!(open & kLevelPassword)) {
        m_labelPassword.Enable(false);
        m_editPassword.Enable(false);
    }
    if (!(open & kLevelServer)) {
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

    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = Handle();
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_BROWSEFORCOMPUTER;
    UniqueItemIdList chosen;
    {
        ActivationScope isolation;
        chosen.reset(SHBrowseForFolderW(&info));
    }
    // Only the server field changes; the fields move out of the controls on OK.
    if (chosen) SetWindowTextW(m_editServer.Handle(), displayName);
}
