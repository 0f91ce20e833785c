// The list of additional licences in the About box, built from the *.acr
// files of the setup folder, and the box's shape with and without them. This
// test program has no string table, icons or version information of its own.
#include <doctest/doctest.h>
#include <map>
#include <string>
#include <vector>
#include "about/notice_list.h"
#include "about_box.h"
#include "acr_writer.h"
#include "import_patch.h"
#include "setup_folder.h"

namespace {
struct AcrFile {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string block;  // what the file adds to the list
};

// The expected list: the files' blocks in the order the directory search of
// the folder returns them; searched wide, for folders of any length.
std::string ExpectedList(const std::string& folder, const std::vector<AcrFile>& files) {
    std::map<std::string, std::string> blocks;
    for (const AcrFile& f : files) blocks[f.name] = f.block;
    std::string list;
    std::wstring pattern(folder.size(), L'\0');
    pattern.resize(MultiByteToWideChar(CP_ACP, 0, folder.data(), static_cast<int>(folder.size()), &pattern[0],
                                       static_cast<int>(pattern.size())));
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((pattern + L"*.acr").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return list;
    do list += blocks.at(std::string(entry.cFileName, entry.cFileName + wcslen(entry.cFileName)));
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return list;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string EmptyLines(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += "\r\n";
    return text;
}

std::vector<uint8_t> Damaged(std::vector<uint8_t> image, size_t offset) {
    image.at(offset) ^= 0x40;
    return image;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> image, size_t size) {
    image.resize(size);
    return image;
}

AcrSection Copyrights(std::vector<AcrKey> keys, uint32_t storedCount) {
    AcrSection section{"Copyrights", std::move(keys)};
    section.overrideCount = true;
    section.storedCount = storedCount;
    return section;
}

AboutSnapshot ShowWithoutArguments() { return ShowAbout(VariantMissing(), VariantMissing()); }

void CheckFullHeight(const AboutSnapshot& shot) {
    CHECK(shot.dialogRect.bottom > shot.boxRect.bottom);
}
}  // namespace

TEST_CASE("the list holds one block per file, byte for byte, and the box keeps its height") {
    const AcrFile m1{"a.acr", AcrImage(NoticeFile("M1", {"C1", "C2"})), Lines({"[M1]", "C1", "C2", ""})};
    const AcrFile unreadable{"b.acr", Damaged(AcrImage(NoticeFile("M2", {"X"})), 25), Lines({"[]", ""})};
    std::vector<AcrSection> twelve{{"Info", {{"Module", "Twelve"}}}};
    {
        // Stored out of order: lines follow the key numbers, not the file.
        std::vector<AcrKey> keys;
        for (int n = 12; n >= 1; --n) keys.push_back({std::to_string(n), "N" + std::to_string(n)});
        twelve.push_back({"Copyrights", keys});
    }
    std::string twelveBlock = "[Twelve]\r\n";
    for (int n = 1; n <= 12; ++n) twelveBlock += "N" + std::to_string(n) + "\r\n";
    twelveBlock += "\r\n";
    // Key "3" is missing; Info is not the first section, and values may be empty.
    std::vector<AcrSection> gap{{"Copyrights", {{"1", "a"}, {"2", ""}, {"4", "d"}, {"Notes", "z"}}},
                                {"Info", {{"Module", "Gap"}}}};
    // A sound file stating more keys than it holds: the rest are empty lines.
    std::vector<AcrSection> short12{{"Info", {{"Module", "Short"}}},
                                    Copyrights({{"1", "S1"}, {"2", "S2"}, {"3", "S3"}}, 12)};
    AcrScrambling other;
    other.multiplier = 0x1234;
    other.increment = 0x0101;
    other.seed = 0xBEEF;
    const std::string cyrillic = Utf8ToAnsi("Модуль «Словарь»");
    const std::string utf8 = "Модуль «Словарь»";

    const struct {
        const char* what;
        std::vector<AcrFile> files;
        WindowsRules::Rule windows = WindowsRules::AsWine;  // modelled over the library's imports
    } cases[] = {
        {"a file with notices and an unreadable one", {m1, unreadable}},
        {"a file without Copyrights", {{"only.acr", AcrImage(NoticeFile("M", {})), Lines({"[M]", ""})}}},
        {"a stored count of 12 looks up keys 1 to 12", {{"twelve.acr", AcrImage(twelve), twelveBlock}}},
        {"a missing numbered key gives an empty line", {{"gap.acr", AcrImage(gap), Lines({"[Gap]", "a", "", "", "d", ""})}}},
        {"a count above the keys present", {{"short.acr", AcrImage(short12), Lines({"[Short]", "S1", "S2", "S3"}) + EmptyLines(9) + "\r\n"}}},
        {"two files naming the same module give two blocks",
         {{"x.acr", AcrImage(NoticeFile("Same", {"one"})), Lines({"[Same]", "one", ""})},
          {"y.acr", AcrImage(NoticeFile("Same", {"two"})), Lines({"[Same]", "two", ""})}}},
        {"damaged and unreadable files give []",
         {{"empty.acr", {}, Lines({"[]", ""})},
          {"header.acr", Truncated(AcrImage(NoticeFile("H", {"h"})), 16), Lines({"[]", ""})},
          {"magic.acr", Damaged(AcrImage(NoticeFile("G", {"g"})), 0), Lines({"[]", ""})},
          {"marker.acr", Damaged(AcrImage(NoticeFile("K", {"k"})), 16), Lines({"[]", ""})},
          {"sum.acr", Damaged(AcrImage(NoticeFile("S", {"s"})), 17), Lines({"[]", ""})}}},
        {"a file without Module, and its own scrambling parameters",
         {{"nomodule.acr", AcrImage({{"Info", {{"module", "lower case"}}}, Copyrights({{"1", "c"}}, 1)}, other),
           Lines({"[]", "c", ""})}}},
        {"narrow text in the ANSI code page", {{"ru.acr", AcrImage(NoticeFile(cyrillic, {cyrillic})), Lines({"[" + cyrillic + "]", cyrillic, ""})}}},
        {"a host whose own code page is UTF-8 reads the system's",
         {{"ru.acr", AcrImage(NoticeFile(cyrillic, {cyrillic})), Lines({"[" + cyrillic + "]", cyrillic, ""})}}, WindowsRules::Utf8Process},
        {"on a UTF-8 system, files in UTF-8 and in the former code page",
         {{"ru.acr", AcrImage(NoticeFile(cyrillic, {"(c)"})), Lines({"[" + cyrillic + "]", "(c)", ""})},
          {"utf8.acr", AcrImage(NoticeFile(utf8, {utf8})), Lines({"[" + cyrillic + "]", cyrillic, ""})}}, WindowsRules::Utf8System},
        {"paths beyond MAX_PATH; a short name matching *.acr is no notice file",
         {{"long.acr", AcrImage(NoticeFile("Long", {"l"})), Lines({"[Long]", "l", ""})},
          {"x.acrbak", AcrImage(NoticeFile("Backup", {})), ""}}, WindowsRules::FileNames},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        SetupFolder setup("about_notices");
        const std::string subfolder(c.windows == WindowsRules::FileNames ? 240 : 0, 'd');  // beyond MAX_PATH
        if (!subfolder.empty()) setup.RecordSubfolder(std::wstring(subfolder.begin(), subfolder.end()));
        for (const AcrFile& f : c.files) setup.Add(std::wstring(f.name.begin(), f.name.end()), f.bytes);
        const std::string expected = ExpectedList(setup.Path() + subfolder + (subfolder.empty() ? "" : "\\"), c.files);
        REQUIRE(!expected.empty());
        const WindowsRules windows(AboutLibraryModule(), c.windows);
        REQUIRE(windows.Patched());
        const AboutSnapshot shot = ShowWithoutArguments();
        REQUIRE(shot.shown);
        CHECK(shot.notices == expected);
        CheckFullHeight(shot);
    }
}

TEST_CASE("files and setup folders named in letters the ANSI code page cannot spell give their blocks") {
    // Each name is beyond one of the code pages the tests run under (1251, 1252).
    static const struct {
        const wchar_t* folder;  // a subfolder recorded as the setup folder; null: none
        const wchar_t* file;
    } names[] = {
        {nullptr, L"Словарь.acr"},
        {nullptr, L"Zoë Ørsted.acr"},
        {L"Zoë Ωsetup", L"notice.acr"},
        {L"Ярослав ✓", L"Ωmega.acr"},
    };
    for (const auto& name : names) {
        CAPTURE(WideToUtf8(name.file));
        CAPTURE(WideToUtf8(name.folder ? name.folder : L""));
        SetupFolder setup("about_wide_names");
        if (name.folder) setup.RecordSubfolder(name.folder);
        setup.Add(std::wstring(name.file), AcrImage(NoticeFile("Dictionary", {"(c) Velmora"})));
        const AboutSnapshot shot = ShowWithoutArguments();
        REQUIRE(shot.shown);
        CHECK(shot.notices == Lines({"[Dictionary]", "(c) Velmora", ""}));
    }
}

TEST_CASE("a Setup value without a trailing backslash still finds the files") {
    SetupFolder setup("about_nobackslash", false);
    setup.Add("one.acr", AcrImage(NoticeFile("One", {"first"})));
    const AboutSnapshot shot = ShowWithoutArguments();
    REQUIRE(shot.shown);
    CHECK(shot.notices == Lines({"[One]", "first", ""}));
}

TEST_CASE("a standard user, refused write access to the machine's keys, still sees the notices") {
    SetupFolder setup("about_standard_user");
    setup.Add("one.acr", AcrImage(NoticeFile("One", {"first"})));
    WriteRefusingRegistry standardUser(AboutLibraryModule(), HKEY_LOCAL_MACHINE);
    REQUIRE(standardUser.Patched());
    const AboutSnapshot shot = ShowWithoutArguments();
    REQUIRE(shot.shown);
    CHECK(shot.notices == Lines({"[One]", "first", ""}));
}

TEST_CASE("without a Setup value the files of the current directory are listed") {
    SetupFolder setup("about_nosetup");
    setup.ForgetSetupValue();
    setup.Add("here.acr", AcrImage(NoticeFile("Here", {})));
    char previous[MAX_PATH];
    REQUIRE(GetCurrentDirectoryA(MAX_PATH, previous) > 0);
    REQUIRE(SetCurrentDirectoryA(setup.Path().c_str()));
    const AboutSnapshot shot = ShowWithoutArguments();
    SetCurrentDirectoryA(previous);
    REQUIRE(shot.shown);
    CHECK(shot.notices == Lines({"[Here]", ""}));
}

// Runs also at 192 DPI (CTest entry test_about_notices_dpi192), where the
// margin is 16 pixels.
TEST_CASE("without *.acr files the box ends 8 pixels (at 96 DPI) above the group box and the list is empty") {
    SetupFolder setup("about_nofiles");
    setup.Add("readme.txt", {'x'});
    const AboutSnapshot shot = ShowWithoutArguments();
    REQUIRE(shot.shown);
    CHECK(shot.notices.empty());
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    CHECK(shot.dialogRect.bottom == shot.boxRect.top - MulDiv(8, dpi, 96));
    CHECK(shot.dialogRect.bottom > shot.dialogRect.top);
}

TEST_CASE("a damaged key count neither hangs the box nor exhausts memory") {
    // -1 stored as the count reads as 4294967295; a huge positive count whose
    // keys run out parses the keys present. Both stop at the line bound.
    const struct {
        const char* what;
        AcrSection copyrights;
        std::string notices;
    } cases[] = {
        {"4294967295", Copyrights({}, 0xFFFFFFFFu), ""},
        {"2147483647 with keys 1 to 3", Copyrights({{"1", "C1"}, {"2", "C2"}, {"3", "C3"}}, 0x7FFFFFFF), Lines({"C1", "C2", "C3"})},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        SetupFolder setup("about_hugecount");
        setup.Add("huge.acr", AcrImage({{"Info", {{"Module", "Huge"}}}, c.copyrights}));
        setup.Add("next.acr", AcrImage(NoticeFile("Next", {"n"})));
        const std::map<std::string, std::string> blocks{
            {"huge.acr", "[Huge]\r\n" + c.notices +
                             EmptyLines(kMaxNoticeLinesPerFile - (c.notices.size() ? 3 : 0)) + "\r\n"},
            {"next.acr", Lines({"[Next]", "n", ""})}};
        const std::string expected = ExpectedList(setup.Path(), {{"huge.acr", {}, blocks.at("huge.acr")},
                                                                 {"next.acr", {}, blocks.at("next.acr")}});
        const DWORD start = GetTickCount();
        const AboutSnapshot shot = ShowWithoutArguments();
        REQUIRE(shot.shown);
        CHECK(GetTickCount() - start < 20000);
        CHECK(shot.notices.size() == expected.size());
        CHECK(shot.notices == expected);
    }
}

TEST_CASE("a host without a string table, icons or version information keeps the template's lines") {
    SetupFolder setup("about_bare");
    const AboutSnapshot shot = ShowAbout(VariantI4(7), VariantI4(7));
    REQUIRE(shot.shown);
    CHECK(shot.result == S_OK);
    CHECK(shot.title == L"%s");
    CHECK(shot.version == L"Версия %s");
    CHECK_FALSE(shot.hasIcon);
}
