// The About box as seen by a host program with its own strings, icons and
// version information (this test program). Runs under code page 1251 and,
// as a second test entry, under code page 1252.
#include <doctest/doctest.h>
#include <string>
#include <vector>
#include "about_box.h"
#include "common/bstr.h"
#include "host_ids.h"
#include "import_patch.h"
#include "setup_folder.h"
#include "tests/server/registration_guard.h"

namespace {
// What the library asked the platform for, recorded through its imports.
UINT g_requestedString = 0xDEADBEEF;
UINT_PTR g_requestedIcon = 0xDEADBEEF;
int g_requestedIconSize = 0;
void* g_loadString = nullptr;
void* g_loadImage = nullptr;

int WINAPI RecordLoadString(HINSTANCE module, UINT id, LPWSTR buffer, int capacity) {
    g_requestedString = id;
    return reinterpret_cast<decltype(&LoadStringW)>(g_loadString)(module, id, buffer, capacity);
}

HANDLE WINAPI RecordLoadImage(HINSTANCE module, LPCWSTR name, UINT type, int width, int height, UINT flags) {
    if (type == IMAGE_ICON) {
        g_requestedIcon = reinterpret_cast<UINT_PTR>(name);
        g_requestedIconSize = width == height ? width : -1;
    }
    return reinterpret_cast<decltype(&LoadImageW)>(g_loadImage)(module, name, type, width, height, flags);
}

// Every control of the box: place in its client area, font height and weight.
std::vector<LONG> ControlLayout(HWND about) {
    std::vector<LONG> values;
    for (HWND control = GetWindow(about, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT r = {};
        LOGFONTW font = {};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&r), 2);
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        values.insert(values.end(), {r.left, r.top, r.right, r.bottom, font.lfHeight, font.lfWeight});
    }
    return values;
}

std::wstring HostVersionLine() { return std::wstring(L"Версия ") + L"" HOST_FILE_VERSION; }

// Every field of the title font but its weight equals the dialog font's.
void CheckBoldCopy(const AboutSnapshot& shot) {
    REQUIRE(shot.fontsRead);
    CHECK(shot.titleFont.lfWeight == FW_BOLD);
    CHECK(shot.dialogFont.lfWeight != FW_BOLD);
    LOGFONTW expected = shot.dialogFont;
    expected.lfWeight = FW_BOLD;
    CHECK(memcmp(&expected, &shot.titleFont, sizeof expected) == 0);
    CHECK(std::wstring(shot.dialogFont.lfFaceName) == L"QUARN Helv Cyr");
}
}  // namespace

TEST_CASE("the box shows the host's title in bold, its icon and its file version") {
    SetupFolder setup("about_host");
    bool notesV6 = false;  // this program has no manifest: the library's own brings version 6
    const AboutSnapshot shot = ShowAbout(VariantI4(HOST_STRING_TITLE), VariantI4(HOST_ICON_TITLE),
                                         [&](HWND about) { notesV6 = IsThemedV6Control(GetDlgItem(about, 1001)); });
    REQUIRE(shot.shown);
    CHECK(notesV6);
    CHECK(shot.result == S_OK);
    CHECK(shot.caption == L"О программе");
    // The string replaces the template text whole; its "%s" and "%d" are text.
    CHECK(shot.title == L"Тестовая программа «Хост» 100%s %d");
    CHECK(shot.hasIcon);
    CHECK(shot.version == HostVersionLine());
    CheckBoldCopy(shot);
    // The bold font is released once the box is gone.
    CHECK(GetObjectType(shot.titleFontHandle) == 0);
}

TEST_CASE("a title or icon the host does not have leaves the template's line and an empty icon") {
    SetupFolder setup("about_host");
    const AboutSnapshot shot = ShowAbout(VariantI4(1234), VariantI4(8));
    REQUIRE(shot.shown);
    CHECK(shot.title == L"%s");
    CHECK_FALSE(shot.hasIcon);
    CHECK(shot.version == HostVersionLine());
    CheckBoldCopy(shot);
}

TEST_CASE("Title and Icon arguments become the resource IDs asked for") {
    SetupFolder setup("about_host");
    const HMODULE library = AboutLibraryModule();
    REQUIRE(library != nullptr);
    ImportPatch stringPatch(library, "user32.dll", "LoadStringW", reinterpret_cast<void*>(&RecordLoadString));
    ImportPatch iconPatch(library, "user32.dll", "LoadImageW", reinterpret_cast<void*>(&RecordLoadImage));
    ImportPatch awareness(library, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&AnsweringGetProcAddress));
    REQUIRE(stringPatch.Patched());
    REQUIRE(iconPatch.Patched());
    REQUIRE(awareness.Patched());
    g_loadString = stringPatch.Original();
    g_loadImage = iconPatch.Original();

    UniqueBstr five(SysAllocString(L"5"));
    VARIANT bstrFive;
    VariantInit(&bstrFive);
    V_VT(&bstrFive) = VT_BSTR;
    V_BSTR(&bstrFive) = five.Get();
    VARIANT empty;
    VariantInit(&empty);
    VARIANT unsignedShort;
    VariantInit(&unsignedShort);
    V_VT(&unsignedShort) = VT_UI2;
    V_UI2(&unsignedShort) = HOST_STRING_FIVE;

    const struct {
        const char* what;
        VARIANT title;
        VARIANT icon;
        UINT stringId;
        const wchar_t* titleText;
        UINT_PTR iconId;
        bool hasIcon;
    } cases[] = {
        {"VT_I2 -1 is sign-extended", VariantI2(-1), VariantI2(HOST_ICON_TITLE), 0xFFFFFFFFu, L"Строка 65535",
         HOST_ICON_TITLE, true},
        {"VT_I2 and VT_I4 hold the IDs", VariantI2(HOST_STRING_FIVE), VariantI4(HOST_ICON_TITLE),
         HOST_STRING_FIVE, L"Строка 5", HOST_ICON_TITLE, true},
        {"a string holding digits is 0", bstrFive, VariantI4(0x10000 + HOST_ICON_HIGH), 0, L"Строка 0",
         HOST_ICON_HIGH, true},
        {"omitted arguments are 0", VariantMissing(), VariantMissing(), 0, L"Строка 0", 0, false},
        {"an empty variant is 0", empty, empty, 0, L"Строка 0", 0, false},
        {"other integer types are 0", unsignedShort, VariantI4(0x7FFF0000 + HOST_ICON_HIGH), 0, L"Строка 0",
         HOST_ICON_HIGH, true},
        {"an icon ID of -1 uses its low 16 bits", VariantI4(HOST_STRING_FIVE), VariantI4(-1), HOST_STRING_FIVE,
         L"Строка 5", 0xFFFF, false},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        g_requestedString = 0xDEADBEEF;
        g_requestedIcon = 0xDEADBEEF;
        g_requestedIconSize = 0;
        // This program runs at 96 DPI; WM_DPICHANGED is sent by hand, as Wine never sends it.
        // Even rows run in a per-monitor v1 host, odd rows in a v2 host (see the logon dialog's DPI test).
        const bool v2 = (&c - cases) % 2 != 0;
        g_answeredDpiAwareness = v2 ? DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 : DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;
        int sizeAtOpen = 0, sizeMoved = 0;
        INT_PTR answer = -1;
        LOGFONTW title = {};
        RECT suggested = {10, 20, 510, 420}, moved = {}, box = {};
        std::vector<LONG> atOpen, back;
        const AboutSnapshot shot = ShowAbout(c.title, c.icon, [&](HWND about) {
            sizeAtOpen = g_requestedIconSize;
            atOpen = ControlLayout(about);
            const HWND titleLine = GetDlgItem(about, 1000);
            if (v2) {
                // As the dialog manager's default handling does, before the box's posted message: plain font.
                SendMessageW(titleLine, WM_SETFONT, SendMessageW(about, WM_GETFONT, 0, 0), FALSE);
                answer = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(about, DWLP_DLGPROC))(
                    about, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
            } else {
                SendMessageW(about, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
            }
            for (int i = 0; i < 100 && title.lfWeight != FW_BOLD; ++i, Sleep(20))
                GetObjectW(reinterpret_cast<HFONT>(SendMessageW(titleLine, WM_GETFONT, 0, 0)), sizeof title, &title);
            GetWindowRect(about, &moved);
            GetWindowRect(GetDlgItem(about, 1004), &box);
            sizeMoved = g_requestedIconSize;
            // v1 through 120 and 144 back to 96: every control as it opened, the title bold again.
            for (const int step : {120, 144, 96})
                if (!v2) SendMessageW(about, WM_DPICHANGED, MAKEWPARAM(step, step), reinterpret_cast<LPARAM>(&suggested));
            back = ControlLayout(about);
        });
        REQUIRE(shot.shown);
        CHECK(shot.result == S_OK);
        CHECK(g_requestedString == c.stringId);
        CHECK(shot.title == c.titleText);
        CHECK(g_requestedIcon == c.iconId);
        // The icon size of the DPI, whatever images the host has; the
        // suggested rectangle, cut 8 pixels at that scale above the empty notices.
        CHECK(sizeAtOpen == 32);
        CHECK(sizeMoved == 64);
        CHECK(box.top - moved.bottom == 16);
        // Bold in the font of the new scale: the box's own in v1, the dialog manager's in v2.
        CHECK((title.lfWeight == FW_BOLD && title.lfHeight == (v2 ? 1 : 2) * shot.titleFont.lfHeight));
        CHECK((v2 ? answer == FALSE : moved.left == 10 && moved.top == 20 && moved.right == 510));
        CHECK((v2 || back == atOpen));
        CHECK(shot.hasIcon == c.hasIcon);
    }
}

TEST_CASE("late-bound calls fill omitted arguments as missing") {
    SetupFolder setup("about_host");
    // Late binding reads the registered type library.
    RegistrationGuard registration;
    using RegisterServer = HRESULT(STDAPICALLTYPE*)();
    const auto registerServer = reinterpret_cast<RegisterServer>(
        reinterpret_cast<void*>(GetProcAddress(AboutLibraryModule(), "DllRegisterServer")));
    REQUIRE(reinterpret_cast<void*>(registerServer) != nullptr);
    REQUIRE(registerServer() == S_OK);
    const struct {
        const char* what;
        std::initializer_list<VARIANT> arguments;
        const wchar_t* title;
        bool hasIcon;
    } cases[] = {
        {"both given", {VariantI4(HOST_STRING_TITLE), VariantI2(HOST_ICON_TITLE)},
         L"Тестовая программа «Хост» 100%s %d", true},
        {"Icon omitted", {VariantI2(HOST_STRING_FIVE)}, L"Строка 5", false},
        {"both omitted", {}, L"Строка 0", false},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        HRESULT invoked = E_FAIL;
        const AboutSnapshot shot = ShowAboutThroughDispatch(c.arguments, &invoked);
        CHECK(invoked == S_OK);
        REQUIRE(shot.shown);
        CHECK(shot.title == c.title);
        CHECK(shot.hasIcon == c.hasIcon);
        CHECK(shot.version == HostVersionLine());
    }
}

TEST_CASE("opening and closing the box many times leaks no GDI objects") {
    SetupFolder setup("about_host");
    // Warm up once: the first box creates the process's shared objects.
    REQUIRE(ShowAbout(VariantI4(HOST_STRING_TITLE), VariantI4(HOST_ICON_TITLE)).shown);
    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 15; ++i) {
        const AboutSnapshot shot = ShowAbout(VariantI4(HOST_STRING_TITLE), VariantI4(HOST_ICON_TITLE));
        REQUIRE(shot.shown);
        REQUIRE(shot.titleFontHandle != nullptr);
        CHECK(GetObjectType(shot.titleFontHandle) == 0);
    }
    const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (before == 0 && after == 0) {
        // Wine does not count GDI objects per process; the released font
        // handles checked above show the box's own font is given back.
        MESSAGE("GetGuiResources reports no GDI objects on this platform");
    } else {
        CHECK(after <= before);
    }
}
