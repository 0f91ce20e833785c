#include "about_box.h"
#include <doctest/doctest.h>
#include <algorithm>
#include <vector>
#include "common/com_ptr.h"
#include "common/unique_handle.h"
#include "quarnver_h.h"
#include "test_support.h"


namespace {
const wchar_t kCaption[] = L"О программе";

BOOL CALLBACK CloseDialogOfProcess(HWND hWnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hWnd) && lstrcmpW(cls, L"#32770") == 0)
        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

struct Library {
    UniqueModule module{LoadLibraryA(QUARNVER_DLL_PATH)};
};

Library& TheLibrary() {
    static Library library;
    return library;
}

ComPtr<IQuarn5About> CreateAbout() {
    ComPtr<IQuarn5About> about;
    const HMODULE module = AboutLibraryModule();
    REQUIRE(module != nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    REQUIRE(reinterpret_cast<void*>(getClassObject) != nullptr);
    ComPtr<IClassFactory> factory;
    REQUIRE(getClassObject(CLSID_Quarn5About, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive())) == S_OK);
    REQUIRE(factory->CreateInstance(nullptr, IID_IQuarn5About, reinterpret_cast<void**>(about.Receive())) == S_OK);
    return about;
}

std::string NarrowItemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    if (!item) return "<no control>";
    const LRESULT length = SendMessageA(item, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(item, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.data(), static_cast<size_t>(copied));
}

void Read(HWND box, AboutSnapshot& shot) {
    shot.shown = true;
    shot.caption = WindowText(box);
    shot.title = ItemText(box, 1000);
    shot.version = ItemText(box, 1002);
    shot.notices = NarrowItemText(box, 1001);
    shot.hasIcon = SendMessageW(GetDlgItem(box, 1003), STM_GETICON, 0, 0) != 0;
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    shot.titleFontHandle = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(box, 1000), WM_GETFONT, 0, 0));
    shot.fontsRead = dialogFont && shot.titleFontHandle &&
                     GetObjectW(dialogFont, sizeof shot.dialogFont, &shot.dialogFont) == sizeof shot.dialogFont &&
                     GetObjectW(shot.titleFontHandle, sizeof shot.titleFont, &shot.titleFont) == sizeof shot.titleFont;
    GetWindowRect(box, &shot.dialogRect);
    GetWindowRect(GetDlgItem(box, 1004), &shot.boxRect);
}
}  // namespace

HMODULE AboutLibraryModule() { return TheLibrary().module.Get(); }

namespace {
// Runs show() on this thread and reads the box on a second one.
AboutSnapshot ReadWhileShown(const std::function<void(AboutSnapshot&)>& show,
                             const std::function<void(HWND)>& whileOpen) {
    AboutSnapshot shot;
    RunModal([&] { show(shot); },
             [&] {
                 const HWND box = WaitForWindow(kCaption, 5000);
                 if (!box) {
                     EnumWindows(CloseDialogOfProcess, 0);
                     return;
                 }
                 Read(box, shot);
                 if (whileOpen) whileOpen(box);
                 PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                 WaitForWindowGone(box);
             });
    return shot;
}
}  // namespace

AboutSnapshot ShowAbout(const VARIANT& title, const VARIANT& icon, const std::function<void(HWND)>& whileOpen) {
    ComPtr<IQuarn5About> about = CreateAbout();
    return ReadWhileShown([&](AboutSnapshot& shot) { shot.result = about->DlgAbout(title, icon); }, whileOpen);
}

AboutSnapshot ShowAboutThroughDispatch(std::initializer_list<VARIANT> arguments, HRESULT* invokeResult) {
    ComPtr<IQuarn5About> about = CreateAbout();
    // IDispatch::Invoke takes its arguments last to first.
    std::vector<VARIANT> reversed(arguments.begin(), arguments.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return ReadWhileShown(
        [&](AboutSnapshot& shot) {
            *invokeResult = about->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                          nullptr, nullptr);
            shot.result = *invokeResult;
        },
        nullptr);
}

VARIANT VariantI2(SHORT value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
}

VARIANT VariantI4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT VariantMissing() {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}
