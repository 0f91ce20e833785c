#include "about_box.h"
#include <doctest/doctest.h>
#include <vector>
#include "common/com_ptr.h"
#include "common/unique_handle.h"
#include "quarnver_h.h"
#include "test_support.h"

namespace {
const wchar_t kCaption[] = L"О программе";

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

AboutSnapshot ShowAbout(const VARIANT& title, const VARIANT& icon, const std::function<void(HWND)>& whileOpen) {
    AboutSnapshot shot;
    ComPtr<IQuarn5About> about = CreateAbout();
    RunModal([&] { shot.result = about->DlgAbout(title, icon); },
             [&] {
                 const HWND box = WaitForWindow(kCaption);
                 if (!box) return;
                 Read(box, shot);
                 if (whileOpen) whileOpen(box);
                 PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                 WaitForWindowGone(box);
             });
    return shot;
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
