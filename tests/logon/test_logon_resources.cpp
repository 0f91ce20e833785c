// The logon dialog's resources as the library carries them: template 201
// control by control, the browser's prompt, the icons and the bitmap, all in
// Russian.
#include <doctest/doctest.h>
#include <cstring>
#include <string>
#include <vector>
#include "logon_test_support.h"
#include "resources/resource.h"

namespace {
const WORD kRussian = MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA);

std::vector<BYTE> RussianResource(LPCSTR type, UINT id) {
    const HMODULE module = QuarnverLibrary();
    const HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), kRussian);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
    return bytes ? std::vector<BYTE>(bytes, bytes + SizeofResource(module, found)) : std::vector<BYTE>();
}

// Reads a dialog template in its plain (not extended) form; every read is
// checked against the end of the resource.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<BYTE>& bytes) : m_bytes(bytes) {}
    bool Ok() const { return m_ok; }
    WORD Word() {
        WORD w = 0;
        Read(&w, sizeof w);
        return w;
    }
    DWORD Dword() {
        DWORD d = 0;
        Read(&d, sizeof d);
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or an ordinal: 0xFFFF followed by the number, returned as "#n".
    std::wstring StringOrOrdinal() {
        const WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring s;
        for (WORD c = first; m_ok && c != 0; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t(3); }
    void Skip(size_t n) {
        if (n > m_bytes.size() - m_pos) m_ok = false; else m_pos += n;
    }

private:
    void Read(void* out, size_t n) {
        if (!m_ok || n > m_bytes.size() - m_pos) {
            m_ok = false;
            return;
        }
        std::memcpy(out, m_bytes.data() + m_pos, n);
        m_pos += n;
    }
    const std::vector<BYTE>& m_bytes;
    size_t m_pos = 0;
    bool m_ok = true;
};

// The predefined control classes by name, whether the template gives them as
// an ordinal or spelled out.
std::wstring ClassName(const std::wstring& cls) {
    if (cls == L"#128") return L"BUTTON";
    if (cls == L"#129") return L"EDIT";
    if (cls == L"#130") return L"STATIC";
    std::wstring upper = cls;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    return upper;
}

struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::wstring cls, text;
};
}  // namespace

TEST_CASE("template 201 holds the logon dialog control by control, in tab order") {
    const std::vector<BYTE> bytes = RussianResource(RT_DIALOG, IDD_LOGON);
    REQUIRE_FALSE(bytes.empty());
    TemplateReader reader(bytes);
    const DWORD style = reader.Dword();
    REQUIRE(HIWORD(style) != 0xFFFF);  // the plain form, not DLGTEMPLATEEX
    reader.Dword();                     // extended style
    const WORD count = reader.Word();
    const short x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
    CHECK(reader.StringOrOrdinal().empty());  // no menu
    CHECK(reader.StringOrOrdinal().empty());  // the standard dialog class
    CHECK(reader.StringOrOrdinal() == L"Регистрация");
    const WORD points = reader.Word();
    CHECK(reader.StringOrOrdinal() == L"QUARN Helv Cyr");
    CHECK(points == 8);
    const DWORD dialogBits = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    CHECK((style & dialogBits) == dialogBits);
    CHECK((style & WS_VISIBLE) == 0);
    CHECK(x == 0);
    CHECK(y == 0);
    CHECK(cx == 282);
    CHECK(cy == 89);

    std::vector<Item> items;
    for (WORD i = 0; i < count && reader.Ok(); ++i) {
        reader.AlignDword();
        Item item;
        item.style = reader.Dword();
        reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = reader.Word();
        item.cls = ClassName(reader.StringOrOrdinal());
        item.text = reader.StringOrOrdinal();
        reader.Skip(reader.Word());
        items.push_back(item);
    }
    REQUIRE(reader.Ok());

    const std::wstring kButton = L"BUTTON", kEdit = L"EDIT", kStatic = L"STATIC";
    struct Expected {
        WORD id;
        std::wstring cls, text;
        DWORD type;  // BS_ / SS_ type, or the ES_ bits for edits
        DWORD bits;  // further style bits that must be set
        short x, y, cx, cy;
    };
    const DWORD edit = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    const Expected expected[] = {
        {IDC_LOGON_USER_LABEL, kStatic, L"П&ользователь:", SS_LEFT, WS_GROUP, 38, 13, 52, 8},
        {IDC_LOGON_USER, kEdit, L"", 0, edit, 88, 11, 109, 12},
        {IDC_LOGON_PASSWORD_LABEL, kStatic, L"&Пароль:", SS_LEFT, WS_GROUP, 38, 40, 28, 8},
        {IDC_LOGON_PASSWORD, kEdit, L"", 0, edit | ES_PASSWORD, 88, 38, 109, 12},
        {IDC_LOGON_SERVER_LABEL, kStatic, L"&Сервер:", SS_LEFT, WS_GROUP, 38, 67, 28, 8},
        {IDC_LOGON_SERVER, kEdit, L"", 0, edit, 88, 65, 110, 12},
        {IDC_LOGON_BROWSE, kButton, L"", BS_PUSHBUTTON, BS_BITMAP | WS_TABSTOP, 203, 65, 15, 13},
        {IDOK, kButton, L"OK", BS_DEFPUSHBUTTON, WS_TABSTOP, 225, 10, 50, 14},
        {IDCANCEL, kButton, L"Отмена", BS_PUSHBUTTON, WS_TABSTOP, 225, 31, 50, 14},
        {0xFFFF, kStatic, L"#205", SS_ICON, 0, 7, 61, 20, 20},
        {0xFFFF, kStatic, L"#206", SS_ICON, 0, 7, 34, 20, 20},
        {0xFFFF, kStatic, L"#207", SS_ICON, 0, 7, 7, 20, 20},
    };
    REQUIRE(items.size() == std::size(expected));
    for (size_t i = 0; i < items.size(); ++i) {
        CAPTURE(i);
        const Item& item = items[i];
        const Expected& want = expected[i];
        CHECK(item.id == want.id);
        CHECK(item.cls == want.cls);
        CHECK(item.text == want.text);
        CHECK((item.style & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE));
        CHECK((item.style & want.bits) == want.bits);
        if (want.cls == kButton) CHECK((item.style & BS_TYPEMASK) == want.type);
        if (want.cls == kStatic) CHECK((item.style & SS_TYPEMASK) == want.type);
        CHECK(item.x == want.x);
        CHECK(item.y == want.y);
        CHECK(item.cx == want.cx);
        CHECK(item.cy == want.cy);
    }
}

TEST_CASE("the browser's prompt, the row icons in every standard size and the browse bitmap are Russian resources") {
    // String 101 lives in block 101 / 16 + 1 of the string table.
    CHECK_FALSE(RussianResource(RT_STRING, IDS_BROWSE_TITLE / 16 + 1).empty());
    wchar_t prompt[256] = {};
    LoadStringW(QuarnverLibrary(), IDS_BROWSE_TITLE, prompt, 256);
    CHECK(std::wstring(prompt) == L"Выберите компьютер, на котором работает сервер QUARN:");

    // The 16-colour images come first, as they always were; then one
    // true-colour image with alpha per standard size, each as PNG (256
    // written 0).
    const std::vector<int> trueColour = {16, 20, 24, 32, 40, 48, 64, 256};
    struct IconRow {
        UINT id;
        std::vector<int> classic;
    };
    const IconRow icons[] = {{IDI_LOGON_SERVER, {32, 16}}, {IDI_LOGON_PASSWORD, {32}}, {IDI_LOGON_USER, {32}}};
    for (const IconRow& row : icons) {
        CAPTURE(row.id);
        const std::vector<BYTE> group = RussianResource(RT_GROUP_ICON, row.id);
        REQUIRE(group.size() >= 6);
        const WORD images = *reinterpret_cast<const WORD*>(group.data() + 4);
        REQUIRE(images == row.classic.size() + trueColour.size());
        REQUIRE(group.size() >= 6 + images * sizeof(IconGroupEntry));
        for (WORD i = 0; i < images; ++i) {
            CAPTURE(i);
            IconGroupEntry entry;
            std::memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof entry);
            const bool classic = i < row.classic.size();
            const int size = classic ? row.classic[i] : trueColour[i - row.classic.size()];
            CHECK(entry.width == size % 256);
            CHECK(entry.height == size % 256);
            CHECK(entry.colours == (classic ? 16 : 0));
            CHECK(entry.bitCount == (classic ? 4 : 32));
            // The image itself agrees with its directory entry.
            const std::vector<BYTE> image = RussianResource(RT_ICON, entry.id);
            REQUIRE(image.size() == entry.bytes);
            if (!classic) {
                CHECK(std::memcmp(image.data(), "\x89PNG\r\n\x1a\n", 8) == 0);
                continue;
            }
            REQUIRE(image.size() >= sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            CHECK(header.biWidth == size);
            CHECK(header.biHeight == 2 * size);  // colour and mask
            CHECK(header.biBitCount == entry.bitCount);
        }
        // The row icon loads as the dialog would load it.
        CHECK(LoadIconW(QuarnverLibrary(), MAKEINTRESOURCEW(row.id)) != nullptr);
    }

    const std::vector<BYTE> bitmap = RussianResource(RT_BITMAP, IDB_BROWSE);
    REQUIRE(bitmap.size() >= sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    CHECK(header.biWidth == 16);
    CHECK(header.biHeight == 15);
    CHECK(header.biBitCount == 4);
}
