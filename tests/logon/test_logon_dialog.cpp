// The logon dialog as a user meets it: texts, pictures and tab order of the
// running dialog, which rows each flag word opens, OK, Cancel and the
// computer browser.
#include <doctest/doctest.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <shlobj.h>
#include <commctrl.h>
#include <oleacc.h>
#include <uxtheme.h>
#include "common/unique_handle.h"
#include "import_patch.h"
#include "logon_test_support.h"
#include "recording_server.h"
#include "resources/resource.h"

namespace {
struct DialogFixture {
    ComApartment com;
    LogonKeyGuard key;
    RecordingClasses classes;
    // What is remembered before each test: a server name in other letter case
    // than this computer's, so the logon stays local.
    const std::wstring user = L"Иван";
    const std::wstring password = L"секрет";
    const std::wstring server = AnsiToWide(ComputerNameA());
    std::wstring serverLower;

    DialogFixture() {
        Recorded().Reset();
        for (wchar_t c : server) serverLower += static_cast<wchar_t>(towlower(c));
        Remember(L"User", user);
        Remember(L"Password", password);
        Remember(L"Server", serverLower);
    }
};

// The static controls with id -1 that show an icon, in template order.
std::vector<HWND> IconControls(HWND dialog) {
    std::vector<HWND> icons;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icons.push_back(child);
    }
    return icons;
}

struct OwnedSearch {
    HWND owner;
    HWND found = nullptr;
};

BOOL CALLBACK FindOwnedWindow(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<OwnedSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hWnd) && GetWindow(hWnd, GW_OWNER) == search->owner) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

// A visible window of this process owned by the given one: the shell's
// computer browser opened from the dialog.
HWND WaitForOwnedWindow(HWND owner, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    do {
        OwnedSearch search{owner};
        EnumWindows(FindOwnedWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

struct TextSearch {
    const std::wstring* text;
    bool found = false;
};

BOOL CALLBACK FindChildWithText(HWND child, LPARAM lParam) {
    auto* search = reinterpret_cast<TextSearch*>(lParam);
    wchar_t buffer[512] = {};
    SendMessageW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
    if (*search->text == buffer) search->found = true;
    return search->found ? FALSE : TRUE;
}

bool HasChildWithText(HWND window, const std::wstring& text) {
    TextSearch search{&text};
    EnumChildWindows(window, FindChildWithText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
// What the library asked the computer browser for; the stand-in browser
// answers with a chosen computer.
struct BrowseRequest {
    int calls = 0;
    HWND owner = nullptr;
    bool hasBuffer = false;
    std::wstring title;
    UINT flags = 0;
};
BrowseRequest g_browse;

// A computer name that no ANSI code page of the test runs can spell.
const wchar_t kChosenComputer[] = L"ΣΕΡΒΕΡ-Я";

PIDLIST_ABSOLUTE WINAPI ChoosingBrowser(LPBROWSEINFOW info) {
    ++g_browse.calls;
    g_browse.owner = info->hwndOwner;
    g_browse.hasBuffer = info->pszDisplayName != nullptr;
    g_browse.title = info->lpszTitle ? info->lpszTitle : L"";
    g_browse.flags = info->ulFlags;
    if (info->pszDisplayName) lstrcpyW(info->pszDisplayName, kChosenComputer);
    // An empty item list from the shell's allocator, which the caller frees.
    auto* list = static_cast<USHORT*>(CoTaskMemAlloc(sizeof(USHORT)));
    if (list) *list = 0;
    return reinterpret_cast<PIDLIST_ABSOLUTE>(list);
}
}  // namespace

TEST_CASE_FIXTURE(DialogFixture, "the running dialog shows its Cyrillic texts, pictures and tab order, centred on the work area") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);

    std::wstring caption, userLabel, passwordLabel, serverLabel, ok, cancel;
    bool passwordHidden = false, hasBitmap = false;
    size_t iconsShown = 0;
    std::vector<int> tabOrder, notV6;
    RECT window = {}, work = {};
    const UniqueVariant missing = Missing();
    const InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            GetWindowRect(dialog, &window);
            MONITORINFO monitor = {sizeof monitor};
            GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
            work = monitor.rcWork;
            caption = WindowText(dialog);
            userLabel = ItemText(dialog, IDC_LOGON_USER_LABEL);
            passwordLabel = ItemText(dialog, IDC_LOGON_PASSWORD_LABEL);
            serverLabel = ItemText(dialog, IDC_LOGON_SERVER_LABEL);
            ok = ItemText(dialog, IDOK);
            cancel = ItemText(dialog, IDCANCEL);
            passwordHidden = (GetWindowLongW(GetDlgItem(dialog, IDC_LOGON_PASSWORD), GWL_STYLE) & ES_PASSWORD) != 0;
            hasBitmap = SendMessageW(GetDlgItem(dialog, IDC_LOGON_BROWSE), BM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
            for (HWND icon : IconControls(dialog))
                if (SendMessageW(icon, STM_GETICON, 0, 0)) ++iconsShown;
            HWND item = GetDlgItem(dialog, IDC_LOGON_USER);
            for (int i = 0; i < 7 && item; ++i) {
                tabOrder.push_back(GetDlgCtrlID(item));
                item = GetNextDlgTabItem(dialog, item, FALSE);
            }
            for (int id : {IDC_LOGON_USER, IDC_LOGON_PASSWORD, IDC_LOGON_SERVER, IDC_LOGON_BROWSE, IDOK, IDCANCEL})
                if (!IsThemedV6Control(GetDlgItem(dialog, id))) notV6.push_back(id);
            Click(dialog, IDCANCEL);
        });

    CHECK(result.hr == S_OK);
    CHECK(result.out == 0);
    CHECK(caption == L"Регистрация");
    CHECK(userLabel == L"П&ользователь:");
    CHECK(passwordLabel == L"&Пароль:");
    CHECK(serverLabel == L"&Сервер:");
    CHECK(ok == L"OK");
    CHECK(cancel == L"Отмена");
    CHECK(passwordHidden);
    CHECK(hasBitmap);
    CHECK(iconsShown == 3);
    CHECK(tabOrder == std::vector<int>{IDC_LOGON_USER, IDC_LOGON_PASSWORD, IDC_LOGON_SERVER, IDC_LOGON_BROWSE, IDOK,
                                       IDCANCEL, IDC_LOGON_USER});
    CHECK(notV6.empty());
    // Without an owner, centred on the work area of the one screen, within it.
    REQUIRE(work.right > work.left);
    CHECK(window.left >= work.left);
    CHECK(window.top >= work.top);
    CHECK(window.right <= work.right);
    CHECK(window.bottom <= work.bottom);
    CHECK(std::abs((window.left + window.right) - (work.left + work.right)) <= 2);
    CHECK(std::abs((window.top + window.bottom) - (work.top + work.bottom)) <= 2);
}

TEST_CASE_FIXTURE(DialogFixture, "the host's active window owns the dialog and is disabled while it runs") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);
    const std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)> host(
        CreateWindowExW(0, L"Static", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 640, 480, nullptr, nullptr,
                        nullptr, nullptr), DestroyWindow);
    SetActiveWindow(host.get());
    REQUIRE(GetActiveWindow() == host.get());
    HWND owner = nullptr;
    BOOL enabledWhileOpen = TRUE;
    const UniqueVariant missing = Missing();
    CHECK(InitializeWithDialog(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND shown) {
        owner = shown ? GetWindow(shown, GW_OWNER) : nullptr;
        enabledWhileOpen = IsWindowEnabled(host.get());
        Click(shown, IDCANCEL);
    }).hr == S_OK);
    CHECK(owner == host.get());
    CHECK_FALSE(enabledWhileOpen);
    CHECK(IsWindowEnabled(host.get()));
}

TEST_CASE_FIXTURE(DialogFixture, "each flag word opens exactly its rows; closed rows show and keep their text") {
    struct Row {
        LONG level;
        bool user, server, password;
        bool remembers;
        const ScriptNames* typed;  // null: Cyrillic names and this computer
    };
    const Row rows[] = {
        {1, true, false, false, true, nullptr},
        {2, false, true, false, true, nullptr},
        {7, true, true, true, true, nullptr},
        {9, true, false, false, false, nullptr},
        // Names in scripts the ANSI code page cannot spell, in every row.
        {7, true, true, true, true, &kScriptNames[0]},
        {7, true, true, true, true, &kScriptNames[1]},
        {15, true, true, true, false, &kScriptNames[2]},
    };
    for (const Row& row : rows) {
        CAPTURE(row.level);
        CAPTURE(WideToUtf8(row.typed ? row.typed->user : L""));
        Recorded().Reset();
        ComPtr<IQuarn5Logon> logon = NewLogon();
        REQUIRE(logon);
        REQUIRE(logon->put_Level(row.level) == S_OK);
        const std::wstring levelBefore = Remembered(L"Level");

        // Typed values: the server is this computer's name in capitals, so the
        // logon stays local whatever the row (Wine activates any other name
        // locally too).
        const std::wstring newUser = row.typed ? row.typed->user : L"Пётр";
        const std::wstring newPassword = row.typed ? row.typed->password : L"новый";
        const std::wstring newServer = row.typed ? row.typed->server : server;
        DialogView view;
        const UniqueVariant missing = Missing();
        const InitializeResult result = InitializeWithDialog(
            logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
                view = ReadDialog(dialog);
                if (row.user) TypeInto(dialog, IDC_LOGON_USER, newUser);
                if (row.password) TypeInto(dialog, IDC_LOGON_PASSWORD, newPassword);
                if (row.server) TypeInto(dialog, IDC_LOGON_SERVER, newServer);
                Click(dialog, IDOK);
            });

        REQUIRE(view.found);
        CHECK(view.userEnabled == row.user);
        CHECK(view.userLabelEnabled == row.user);
        CHECK(view.passwordEnabled == row.password);
        CHECK(view.passwordLabelEnabled == row.password);
        CHECK(view.serverEnabled == row.server);
        CHECK(view.serverLabelEnabled == row.server);
        CHECK(view.browseEnabled == row.server);
        CHECK(view.user == user);
        CHECK(view.password == password);
        CHECK(view.server == serverLower);

        CHECK(result.hr == S_OK);
        CHECK(result.out == 1);
        const std::wstring expectUser = row.user ? newUser : user;
        const std::wstring expectPassword = row.password ? newPassword : password;
        const std::wstring expectServer = row.server ? newServer : serverLower;
        CHECK(Get(logon.Get(), Property::User) == expectUser);
        CHECK(Get(logon.Get(), Property::Password) == expectPassword);
        CHECK(Get(logon.Get(), Property::Server) == expectServer);
        CHECK(Recorded().lockBalance == 1);

        if (row.remembers) {
            CHECK(Remembered(L"User") == expectUser);
            CHECK(Remembered(L"Password") == expectPassword);
            CHECK(Remembered(L"Server") == expectServer);
        } else {
            CHECK(Remembered(L"User") == user);
            CHECK(Remembered(L"Password") == password);
            CHECK(Remembered(L"Server") == serverLower);
        }
        CHECK(Remembered(L"Level") == levelBefore);

        // The next row starts from the same remembered values.
        Remember(L"User", user);
        Remember(L"Password", password);
        Remember(L"Server", serverLower);
    }
}

TEST_CASE_FIXTURE(DialogFixture, "Cancel drops what was typed; the next call shows the cancelled call's values") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);

    const UniqueVariant givenServer = Text(L"ДРУГОЙ");
    const UniqueVariant givenUser = Text(L"Анна");
    const UniqueVariant missing = Missing();
    DialogView first;
    InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *givenServer.Get(), *givenUser.Get(), *missing.Get(), [&](HWND dialog) {
            first = ReadDialog(dialog);
            TypeInto(dialog, IDC_LOGON_USER, L"набрано");
            TypeInto(dialog, IDC_LOGON_PASSWORD, L"набрано");
            TypeInto(dialog, IDC_LOGON_SERVER, L"набрано");
            Click(dialog, IDCANCEL);
        });
    CHECK(first.user == L"Анна");
    CHECK(first.server == L"ДРУГОЙ");
    CHECK(first.password == password);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 0);

    // Nothing remembered, nothing connected.
    CHECK(Remembered(L"User") == user);
    CHECK(Remembered(L"Password") == password);
    CHECK(Remembered(L"Server") == serverLower);
    CHECK(Recorded().lockBalance == 0);
    HRESULT hr = S_OK;
    CHECK(Get(logon.Get(), Property::User, &hr).empty());
    CHECK(hr == static_cast<HRESULT>(0x800F0000));

    DialogView second;
    result = InitializeWithDialog(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(),
                                  [&](HWND dialog) {
                                      second = ReadDialog(dialog);
                                      Click(dialog, IDCANCEL);
                                  });
    CHECK(second.user == L"Анна");
    CHECK(second.server == L"ДРУГОЙ");
    CHECK(second.password == password);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 0);
}

TEST_CASE_FIXTURE(DialogFixture, "cancelling the computer browser keeps what was typed") {
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);

    bool browserShown = false, browserHasTitle = false;
    DialogView after;
    const UniqueVariant missing = Missing();
    const InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            TypeInto(dialog, IDC_LOGON_USER, L"Новый");
            TypeInto(dialog, IDC_LOGON_PASSWORD, L"тайна");
            Click(dialog, IDC_LOGON_BROWSE);
            if (const HWND browser = WaitForOwnedWindow(dialog)) {
                browserShown = true;
                browserHasTitle = HasChildWithText(browser, L"Выберите компьютер, на котором работает сервер QUARN:");
                PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                WaitForWindowGone(browser);
            }
            after = ReadDialog(dialog);
            Click(dialog, IDOK);
        });

    CHECK(browserShown);
    CHECK(browserHasTitle);
    CHECK(after.user == L"Новый");
    CHECK(after.password == L"тайна");
    CHECK(after.server == serverLower);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 1);
    CHECK(Get(logon.Get(), Property::User) == L"Новый");
    CHECK(Remembered(L"User") == L"Новый");
}

TEST_CASE_FIXTURE(DialogFixture, "a computer chosen in the browser replaces only the server field") {
    // Run under code page 1251 and under 1252, which cannot spell the
    // Cyrillic prompt; neither spells the chosen name.
    ImportPatch patch(QuarnverLibrary(), "shell32.dll", "SHBrowseForFolderW", reinterpret_cast<void*>(&ChoosingBrowser));
    REQUIRE(patch.Patched());
    g_browse = BrowseRequest();
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);

    HWND shownDialog = nullptr;
    DialogView after;
    const UniqueVariant missing = Missing();
    const InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            shownDialog = dialog;
            TypeInto(dialog, IDC_LOGON_USER, L"Новый");
            // The browser runs inside the click; the dialog answers the
            // following WM_GETTEXT only once it has returned.
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOGON_BROWSE, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_LOGON_BROWSE)));
            after = ReadDialog(dialog);
            Click(dialog, IDCANCEL);
        });

    CHECK(g_browse.calls == 1);
    CHECK(g_browse.owner == shownDialog);
    CHECK(g_browse.hasBuffer);
    CHECK(g_browse.title == L"Выберите компьютер, на котором работает сервер QUARN:");
    CHECK(g_browse.flags == BIF_BROWSEFORCOMPUTER);
    CHECK(after.server == kChosenComputer);
    CHECK(after.user == L"Новый");
    CHECK(after.password == password);
    CHECK(result.hr == S_OK);
    CHECK(result.out == 0);
}

namespace {
// The screen's DPI, which under Wine is every window's.
int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The colour pixels of a bitmap as 32-bit rows, bottom-up.
std::vector<BYTE> Pixels32(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB};
    std::vector<BYTE> bits(static_cast<size_t>(width) * height * 4);
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, height, bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == height ? bits : std::vector<BYTE>();
}

// The colour pixels of an icon made from the icon resource's own true-colour
// image of exactly size pixels (none when the resource has no such image).
std::vector<BYTE> NativeIconPixels(UINT id, int size) {
    const HMODULE library = QuarnverLibrary();
    const HRSRC groupInfo = FindResourceA(library, MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    const auto* group = groupInfo ? static_cast<const BYTE*>(LockResource(LoadResource(library, groupInfo))) : nullptr;
    if (!group || SizeofResource(library, groupInfo) < 6) return {};
    WORD count = 0;
    std::memcpy(&count, group + 4, sizeof count);
    if (SizeofResource(library, groupInfo) < 6 + count * sizeof(IconGroupEntry)) return {};
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, group + 6 + i * sizeof entry, sizeof entry);
        if (entry.width != size % 256 || entry.bitCount != 32) continue;
        const HRSRC imageInfo = FindResourceA(library, MAKEINTRESOURCEA(entry.id), RT_ICON);
        auto* image = imageInfo ? static_cast<BYTE*>(LockResource(LoadResource(library, imageInfo))) : nullptr;
        if (!image) return {};
        const UniqueIcon icon(CreateIconFromResourceEx(image, SizeofResource(library, imageInfo), TRUE, 0x00030000,
                                                       size, size, LR_DEFAULTCOLOR));
        ICONINFO info = {};
        if (!icon || !GetIconInfo(icon.Get(), &info)) return {};
        std::vector<BYTE> pixels = Pixels32(info.hbmColor, size, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return pixels;
    }
    return {};
}

// Every control: place and size in the client area, and font height.
std::vector<LONG> Layout(HWND dialog) {
    std::vector<LONG> values;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT r = {};
        LOGFONTW font = {};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        values.insert(values.end(), {r.left, r.top, r.right - r.left, r.bottom - r.top, font.lfHeight});
    }
    return values;
}

// A high-contrast black scheme set with SetSysColors, as Wine cannot turn on the system's own
// (SPI_SETHIGHCONTRAST fails there), with visual styles off; both come back however the test ends.
struct HighContrast {
    const INT elements[2] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF contrast[2] = {RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF)}, usual[2] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
    const DWORD styles = GetThemeAppProperties();
    HighContrast() { SetThemeAppProperties(0); }
    ~HighContrast() { SetSysColors(2, elements, usual), SetThemeAppProperties(styles); }
};
}  // namespace

// Runs also at 144 and 192 DPI (CTest entries test_logon_dialog_dpi144 and _dpi192).
TEST_CASE_FIXTURE(DialogFixture, "the row icons and the browse glyph are drawn for the screen's DPI, then a new one") {
    // Windows sends WM_DPICHANGED to per-monitor aware hosts only ("WM_DPICHANGED message"); in v2 the
    // dialog manager re-lays out the dialog ("DIALOG_DPI_CHANGE_BEHAVIORS") unless the dialog procedure
    // returns TRUE ("DefDlgProc"), in v1 the dialog does. Wine has no v2 and sends no WM_DPICHANGED.
    bool v2 = false;
    SUBCASE("per-monitor v1 host") {}
    SUBCASE("per-monitor v2 host") { v2 = true; }
    g_answeredDpiAwareness = v2 ? DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 : DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;
    ImportPatch awareness(QuarnverLibrary(), "kernel32.dll", "GetProcAddress",
                          reinterpret_cast<void*>(&AnsweringGetProcAddress));
    REQUIRE(awareness.Patched());
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);
    const int dpi = ScreenDpi();
    const int iconSize = MulDiv(32, dpi, 96), newDpi = dpi == 96 ? 192 : 96;
    MESSAGE("screen at " << dpi << " DPI, icons of " << iconSize << " pixels");
    struct Shown {
        int width = 0, height = 0, bitsPerPixel = 0;
        std::vector<BYTE> pixels;
    };
    std::vector<Shown> icons;
    BITMAP glyph = {};
    std::vector<int> newSizes;
    std::vector<LONG> before, after, back;
    INT_PTR answer = -1;
    const UniqueVariant missing = Missing();
    const InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            for (HWND control : IconControls(dialog)) {
                Shown shown;
                ICONINFO info = {};
                const auto icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
                if (icon && GetIconInfo(icon, &info)) {
                    BITMAP colour = {};
                    GetObjectW(info.hbmColor, sizeof colour, &colour);
                    shown = {colour.bmWidth, colour.bmHeight, colour.bmBitsPixel,
                             Pixels32(info.hbmColor, colour.bmWidth, colour.bmHeight)};
                    DeleteObject(info.hbmColor);
                    DeleteObject(info.hbmMask);
                }
                icons.push_back(shown);
            }
            const auto bitmap = reinterpret_cast<HBITMAP>(
                SendMessageW(GetDlgItem(dialog, IDC_LOGON_BROWSE), BM_GETIMAGE, IMAGE_BITMAP, 0));
            if (bitmap) GetObjectW(bitmap, sizeof glyph, &glyph);
            // A control made at run time, as a dialog may add one, is scaled with the others.
            SendMessageW(CreateWindowExW(0, L"Static", L"", WS_CHILD, 5, 7, 51, 13, dialog, nullptr, nullptr, nullptr),
                         WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
            before = Layout(dialog);
            RECT suggested = {10, 20, 610, 520};  // sent by hand, as Wine never sends it; see the About test
            // v2: the dialog procedure's own answer, which decides whether the default handling runs; the
            // images follow once the message the dialog posts itself is handled, the glyph last.
            if (v2)
                answer = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC))(
                    dialog, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));
            else
                SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));
            const HWND browse = GetDlgItem(dialog, IDC_LOGON_BROWSE);
            for (int i = 0; i < 100 && SendMessageW(browse, BM_GETIMAGE, IMAGE_BITMAP, 0) == LRESULT(bitmap); ++i) Sleep(20);
            for (HWND control : IconControls(dialog)) {
                ICONINFO info = {};
                BITMAP colour = {};
                if (GetIconInfo(reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0)), &info))
                    GetObjectW(info.hbmColor, sizeof colour, &colour);
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
                newSizes.push_back(colour.bmWidth);
            }
            after = Layout(dialog);
            // v1 through 120 and 144 back to where it opened: every control exactly where the dialog manager put it.
            for (const int step : {120, 144, dpi})
                if (!v2) SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(step, step), reinterpret_cast<LPARAM>(&suggested));
            back = Layout(dialog);
            Click(dialog, IDCANCEL);
        });
    CHECK(result.hr == S_OK);
    CHECK(newSizes == std::vector<int>(3, MulDiv(32, newDpi, 96)));
    if (v2) CHECK(answer == FALSE);  // v1 scales controls and fonts itself, within a pixel
    for (size_t i = 0; !v2 && i < before.size(); ++i) CHECK(std::abs(after[i] - MulDiv(before[i], newDpi, dpi)) <= 1);
    if (!v2) CHECK(back == before);
    const UINT ids[] = {IDI_LOGON_SERVER, IDI_LOGON_PASSWORD, IDI_LOGON_USER};
    REQUIRE(icons.size() == std::size(ids));
    for (size_t i = 0; i < icons.size(); ++i) {
        CAPTURE(ids[i]);
        CHECK(icons[i].width == iconSize);
        CHECK(icons[i].height == iconSize);
        CHECK(icons[i].bitsPerPixel == 32);
        // Pixel for pixel the image made for this size, not a smaller one stretched.
        const std::vector<BYTE> native = NativeIconPixels(ids[i], iconSize);
        REQUIRE_FALSE(native.empty());
        CHECK(icons[i].pixels == native);
    }
    CHECK(glyph.bmWidth == MulDiv(16, dpi, 96));
    CHECK(glyph.bmHeight == MulDiv(15, dpi, 96));
}

// The colours change for every program: test_logon_dialog runs alone (RUN_SERIAL).
TEST_CASE_FIXTURE(DialogFixture, "the magnifier follows a high-contrast scheme at 96 DPI and after a change to 192") {
    g_answeredDpiAwareness = DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;  // v1: the dialog scales itself
    ImportPatch awareness(QuarnverLibrary(), "kernel32.dll", "GetProcAddress",
                          reinterpret_cast<void*>(&AnsweringGetProcAddress));
    REQUIRE(awareness.Patched());
    const HighContrast scheme;
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE((logon && logon->put_Level(7) == S_OK));
    std::vector<std::vector<BYTE>> shots;  // usual colours, high contrast, then at 192 DPI, usual colours again
    const UniqueVariant missing = Missing();
    InitializeWithDialog(logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
        const HWND browse = GetDlgItem(dialog, IDC_LOGON_BROWSE);
        auto shown = reinterpret_cast<HBITMAP>(SendMessageW(browse, BM_GETIMAGE, IMAGE_BITMAP, 0));
        RECT suggested = {10, 20, 610, 520};
        for (int step = 0; step < 4; ++step) {
            if (step == 1) SetSysColors(2, scheme.elements, scheme.contrast);  // WM_SYSCOLORCHANGE to all
            if (step == 2) SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
            if (step == 3) SetSysColors(2, scheme.elements, scheme.usual);
            for (int i = 0; i < 100 && step && SendMessageW(browse, BM_GETIMAGE, IMAGE_BITMAP, 0) == LRESULT(shown); ++i) Sleep(20);
            shown = reinterpret_cast<HBITMAP>(SendMessageW(browse, BM_GETIMAGE, IMAGE_BITMAP, 0));
            const int scale = step < 2 ? 1 : 2;
            shots.push_back(Pixels32(shown, 16 * scale, 15 * scale));
        }
        Click(dialog, IDCANCEL);
    });
    REQUIRE(shots.size() == 4);
    // Pixel for pixel, the button face and the ink follow the scheme; the lens keeps its colours.
    for (const auto& [usual, contrast] : {std::make_pair(0, 1), std::make_pair(3, 2)}) {
        std::vector<BYTE> expected = shots[usual];
        size_t ink = 0;
        for (size_t i = 0; i < expected.size(); i += 4) {
            const COLORREF was = RGB(expected[i + 2], expected[i + 1], expected[i]);
            ink += was == scheme.usual[1];
            // Black and white have the same three bytes as a COLORREF and as a pixel.
            if (was == scheme.usual[0] || was == scheme.usual[1]) std::memcpy(&expected[i], &scheme.contrast[was == scheme.usual[1]], 3);
        }
        CHECK(ink >= 20);
        CHECK(expected == shots[contrast]);
    }
}

namespace {
// The annotation service handed to the library's CoCreateInstance import (Wine's answers E_NOTIMPL): it lists
// the controls given an empty name ("IAccPropServices::SetHwndPropStr") and those given their own back while
// they exist ("::ClearHwndProps"), null for another call; only those methods are filled in, in their order.
std::vector<HWND> g_annotated, g_cleared;
LONG g_annotatorReferences = 0;
bool IsOwnName(DWORD object, DWORD child, const MSAAPROPID& id) {  // of the control itself
    return object == static_cast<DWORD>(OBJID_CLIENT) && child == CHILDID_SELF && IsEqualGUID(id, PROPID_ACC_NAME);
}
HRESULT WINAPI AnnotatorQuery(void* self, REFIID, void** out) { return *out = self, ++g_annotatorReferences, S_OK; }
ULONG WINAPI AnnotatorAddRef(void*) { return static_cast<ULONG>(++g_annotatorReferences); }
ULONG WINAPI AnnotatorRelease(void*) { return static_cast<ULONG>(--g_annotatorReferences); }
HRESULT WINAPI AnnotatorSet(void*, HWND hwnd, DWORD object, DWORD child, MSAAPROPID id, LPCWSTR text) {
    g_annotated.push_back(IsOwnName(object, child, id) && text && !*text ? hwnd : nullptr);
    return S_OK;
}
HRESULT WINAPI AnnotatorClear(void*, HWND hwnd, DWORD object, DWORD child, const MSAAPROPID* ids, int count) {
    g_cleared.push_back(count == 1 && IsOwnName(object, child, *ids) && IsWindow(hwnd) ? hwnd : nullptr);
    return S_OK;
}
void* const kAnnotatorMethods[18] = {reinterpret_cast<void*>(&AnnotatorQuery), reinterpret_cast<void*>(&AnnotatorAddRef),
    reinterpret_cast<void*>(&AnnotatorRelease), nullptr, nullptr, nullptr, nullptr, reinterpret_cast<void*>(&AnnotatorSet),
    nullptr, reinterpret_cast<void*>(&AnnotatorClear)};
const void* const g_annotator = kAnnotatorMethods;
HRESULT WINAPI HandingAnnotator(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out) {
    if (IsEqualCLSID(clsid, CLSID_AccPropServices)) return AnnotatorQuery(const_cast<void**>(&g_annotator), iid, out);
    return CoCreateInstance(clsid, outer, context, iid, out);
}

// The name a screen reader announces for a control, and its role, through
// the platform's accessibility objects.
std::wstring AccessibleName(HWND control, LONG* role) {
    // __uuidof, not IID_IAccessible: the IID_IAccessible that the 64-bit
    // mingw-w64 libuuid links in is not IAccessible's.
    ComPtr<IAccessible> accessible;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          accessible.ReceiveVoid())) || !accessible)
        return L"<no accessible object>";
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    UniqueVariant answer;
    if (SUCCEEDED(accessible->get_accRole(self, answer.Get())) && V_VT(answer.Get()) == VT_I4) *role = V_I4(answer.Get());
    UniqueBstr name;
    if (FAILED(accessible->get_accName(self, name.Receive()))) return L"<no name>";
    return name.Get() ? std::wstring(name.Get()) : std::wstring();
}

struct TooltipSearch {
    HWND owner;
    HWND found = nullptr;
};

BOOL CALLBACK FindTooltip(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<TooltipSearch*>(lParam);
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    if (lstrcmpiW(cls, TOOLTIPS_CLASSW) != 0 || GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    search->found = window;
    return FALSE;
}

// The text of the tooltip the dialog shows over the control; empty when none.
std::wstring TooltipText(HWND dialog, HWND control) {
    TooltipSearch search{dialog};
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), FindTooltip, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return std::wstring();
    wchar_t text[256] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    SendMessageW(search.found, TTM_GETTEXTW, ARRAYSIZE(text), reinterpret_cast<LPARAM>(&tool));
    return text;
}

// The control that has the keyboard focus in the dialog's thread.
HWND FocusIn(HWND dialog) {
    GUITHREADINFO gui = {sizeof gui};
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) ? gui.hwndFocus : nullptr;
}

// The same, once it is the expected control or after a while.
HWND FocusOnceSettled(HWND dialog, HWND expected) {
    for (int i = 0; i < 100 && FocusIn(dialog) != expected; ++i) Sleep(20);
    return FocusIn(dialog);
}
}  // namespace

// Runs also at 144 and 192 DPI (CTest entries test_logon_dialog_dpi144 and _dpi192).
TEST_CASE_FIXTURE(DialogFixture, "every control of both dialogs has a name for screen readers, every row its mnemonic") {
    ImportPatch annotating(QuarnverLibrary(), "ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&HandingAnnotator));
    REQUIRE(annotating.Patched());
    g_annotated.clear(), g_cleared.clear();
    ComPtr<IQuarn5Logon> logon = NewLogon();
    REQUIRE(logon);
    REQUIRE(logon->put_Level(7) == S_OK);
    const std::wstring browseName = L"Выбрать компьютер в сети";
    struct Row {
        bool about;  // a control of the About box, else of the logon dialog
        int id;
        std::wstring name;  // as a screen reader announces it
        LONG role;          // 0: not read; Wine reports buttons and statics as "client"
        // 0: none. In the letter case the label spells it: Wine's dialog
        // manager matches Cyrillic mnemonics only in their own case, where
        // Windows ignores the case.
        wchar_t mnemonic;
    } rows[] = {
        // Out of template order, so that each key moves the focus.
        {false, IDC_LOGON_PASSWORD, L"Пароль:", ROLE_SYSTEM_TEXT, L'П'},
        {false, IDC_LOGON_SERVER, L"Сервер:", ROLE_SYSTEM_TEXT, L'С'},
        {false, IDC_LOGON_USER, L"Пользователь:", ROLE_SYSTEM_TEXT, L'о'},
        {false, IDC_LOGON_BROWSE, browseName, 0, 0},
        {false, IDOK, L"OK", 0, 0},
        {false, IDCANCEL, L"Отмена", 0, 0},
        // Named by the group box's title, not by the static text before the box.
        {true, IDC_ABOUT_NOTICES, L"Дополнительные лицензии:", ROLE_SYSTEM_TEXT, 0},
    };
    std::vector<std::wstring> names(std::size(rows));
    std::vector<LONG> roles(std::size(rows));
    std::vector<int> focused, expected;  // control IDs
    std::vector<HWND> icons;
    std::wstring browseText, tooltip;
    const UniqueVariant missing = Missing();
    const InitializeResult result = InitializeWithDialog(
        logon.Get(), L"client", *missing.Get(), *missing.Get(), *missing.Get(), [&](HWND dialog) {
            if (!dialog) return;
            ComApartment readerThread;
            for (const Row& row : rows) {
                if (row.about) continue;
                const HWND control = GetDlgItem(dialog, row.id);
                names[&row - rows] = AccessibleName(control, &roles[&row - rows]);
                if (!row.mnemonic) continue;
                // Alt and the letter, as the keyboard delivers them to the focused control.
                const HWND from = FocusIn(dialog);
                PostMessageW(from ? from : dialog, WM_SYSCHAR, row.mnemonic, 1 << 29);
                focused.push_back(GetDlgCtrlID(FocusOnceSettled(dialog, control)));
                expected.push_back(row.id);
            }
            icons = IconControls(dialog);
            browseText = ItemText(dialog, IDC_LOGON_BROWSE);
            tooltip = TooltipText(dialog, GetDlgItem(dialog, IDC_LOGON_BROWSE));
            Click(dialog, IDCANCEL);
        });
    CHECK(result.hr == S_OK);
    const ComPtr<IQuarn5About> about = NewAbout();
    REQUIRE(about);
    RunModal([&] { CHECK(about->DlgAbout(*missing.Get(), *missing.Get()) == S_OK); }, [&] {
        const HWND box = WaitForWindow(L"О программе");
        ComApartment readerThread;
        for (const Row& row : rows)
            if (row.about && box) names[&row - rows] = AccessibleName(GetDlgItem(box, row.id), &roles[&row - rows]);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    for (size_t i = 0; i < names.size(); ++i) {
        CAPTURE(rows[i].id);
        CHECK(names[i] == rows[i].name);
        if (rows[i].role) CHECK(roles[i] == rows[i].role);
    }
    CHECK(focused == expected);
    // The name is the button's text, which a bitmap button does not draw.
    CHECK(browseText == browseName);
    CHECK(tooltip == browseName);
    // The row icons only decorate: no name while the dialog runs, the service released once it is gone.
    CHECK(icons.size() == 3);
    CHECK(g_annotated == icons);
    CHECK(g_cleared == icons);
    CHECK(g_annotatorReferences == 0);
}
