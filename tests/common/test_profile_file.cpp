#include <doctest/doctest.h>
#include <algorithm>
#include <utility>
#include <cstring>
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "common/unique_handle.h"
#include "profile_bytes.h"
#include "import_patch.h"
#include "test_support.h"

namespace {

// One section "About" with the string "Module" = "Velmora", scrambled with the
// default parameters; worked out by hand from the format.
const std::vector<uint8_t> kAboutFile = {
    0x1A, 0x1A, 0x95, 0x4B, 0xC7, 0xD2, 0x38, 0x6F, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x1A, 0xA7, 0x7F, 0xA7, 0xFA, 0xB4, 0xE6, 0x3B,
    0x34, 0xF0, 0x77, 0x67, 0x20, 0xFD, 0xCF, 0x61, 0xF3, 0xCC, 0xEE, 0xED,
    0x09, 0x05, 0xB6, 0x0B, 0x45, 0x47, 0x02, 0x77, 0x70, 0x00, 0x31, 0x77,
    0x59, 0x65, 0xCF, 0xFD, 0x0B, 0x95, 0x46, 0x1B, 0x95, 0xD6, 0xD2, 0x47,
    0x80, 0x8B, 0x0B, 0x0F, 0x11, 0xF6, 0x08, 0xAE,
};

// Files in the folder, other than the given ones.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + (folder.back() == '\\' ? "*" : "\\*")).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FilesIn(const ScratchFolder& folder) { return FilesIn(folder.Path()); }

ProfileValue ValueOf(const ProfileFile& file, const std::string& section, const std::string& key) {
    const auto s = file.Map().Sections().find(section);
    REQUIRE(s != file.Map().Sections().end());
    const auto v = s->second.m_mapValues.find(key);
    REQUIRE(v != s->second.m_mapValues.end());
    return v->second;
}


// A WriteFile whose second call writes part of its data and then fails, as a
// full disk would.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
WriteFileFn g_realWriteFile = nullptr;
int g_writeCalls = 0;
BOOL WINAPI WriteFileFailingSecond(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (++g_writeCalls < 2) return g_realWriteFile(file, data, size, written, overlapped);
    g_realWriteFile(file, data, size / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// The replace-file operations asked for, passed on to the platform.
using ReplaceFileFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID);
ReplaceFileFn g_realReplaceFile = nullptr;
std::vector<std::wstring> g_replaced;
BOOL WINAPI RecordingReplaceFile(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                                 LPVOID reserved) {
    g_replaced.push_back(replaced);
    return g_realReplaceFile(replaced, replacement, backup, flags, exclude, reserved);
}

// GetTempFileName as Windows has it: a folder longer than MAX_PATH - 14
// characters is refused. Wine's takes it.
using GetTempFileNameAFn = UINT(WINAPI*)(LPCSTR, LPCSTR, UINT, LPSTR);
using GetTempFileNameWFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, UINT, LPWSTR);
GetTempFileNameAFn g_realTempNameA = nullptr;
GetTempFileNameWFn g_realTempNameW = nullptr;
UINT WINAPI WindowsTempNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name) {
    if (lstrlenA(folder) > MAX_PATH - 14) return SetLastError(ERROR_BUFFER_OVERFLOW), 0;
    return g_realTempNameA(folder, prefix, unique, name);
}
UINT WINAPI WindowsTempNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name) {
    if (lstrlenW(folder) > MAX_PATH - 14) return SetLastError(ERROR_BUFFER_OVERFLOW), 0;
    return g_realTempNameW(folder, prefix, unique, name);
}

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                        &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

}  // namespace

TEST_CASE("a file built by hand loads; names are case-sensitive") {
    ScratchFolder folder("profile_hand");
    const std::string path = folder.File("about.acr");
    REQUIRE(WriteFileBytes(path, kAboutFile));
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    CHECK(file.GetString("About", "Module") == "Velmora");
    CHECK(file.GetKeyCount("About") == 1);
    CHECK(file.GetSectionCount() == 1);
    CHECK(file.Path() == WideFromAnsi(path));
    CHECK(file.GetString("About", "module") == "");
    CHECK(file.GetString("about", "Module") == "");
    CHECK(file.GetString("About", "Missing") == "");
    CHECK(file.GetKeyCount("Missing") == 0);
    CHECK(file.GetString(nullptr, "Module") == "");
    CHECK(file.GetString("About", nullptr) == "");
    CHECK(file.GetKeyCount(nullptr) == 0);
}

TEST_CASE("a saved file has exactly the bytes of the format") {
    ScratchFolder folder("profile_save");
    static const struct {
        const char* name;
        ProfileValue value;
        BodyBytes item;  // type code and value item
    } cases[] = {
        {"string", ProfileValue::String("Velmora"), BodyBytes().Type('S').String("Velmora")},
        {"empty string", ProfileValue::String(""), BodyBytes().Type('S').String("")},
        {"integer", ProfileValue::Integer(-300), BodyBytes().Type('I').Integer(-300)},
        {"true", ProfileValue::Boolean(true), BodyBytes().Type('B').Boolean(1)},
        {"false", ProfileValue::Boolean(false), BodyBytes().Type('B').Boolean(0)},
        {"blob", ProfileValue::Blob({0, 1, 2, 0xFF}), BodyBytes().Type('H').Blob(std::string("\0\1\2\xFF", 4))},
        {"empty blob", ProfileValue::Blob({}), BodyBytes().Type('H').Blob("")},
        {"other type", ProfileValue{'X', {}}, BodyBytes().Type('X')},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        ProfileFile file;
        file.Map().SetValue("Section", "Key", c.value);
        const std::string path = folder.File("saved.acr");
        REQUIRE(file.Save(WideFromAnsi(path), TRUE));
        BodyBytes body;
        body.Integer(1).String("Section").Integer(1).String("Key").Raw(
            std::string(c.item.Bytes().begin(), c.item.Bytes().end()));
        CHECK(ReadFileBytes(path) == ScrambledFile(body));
    }
    // A boolean holding any non-zero number is written as 1.
    ProfileFile file;
    file.Map().SetValue("S", "K", ProfileValue{'B', {5, 0, 0, 0}});
    REQUIRE(file.Save(WideFromAnsi(folder.File("bool.acr")), TRUE));
    CHECK(ReadFileBytes(folder.File("bool.acr")) ==
          ScrambledFile(BodyBytes().Integer(1).String("S").Integer(1).String("K").Type('B').Boolean(1)));
}

TEST_CASE("values of every kind survive a save and a load; save without a path uses the loaded one") {
    ScratchFolder folder("profile_roundtrip");
    const std::string path = folder.File("all.acr");
    {
        ProfileFile file;
        const std::string cyrillic = Utf8ToAnsi("Переводчик");
        file.Map().SetValue("Product", "Name", ProfileValue::String(cyrillic));
        file.Map().SetValue("Product", "Build", ProfileValue::Integer(512));
        file.Map().SetValue("Product", "Beta", ProfileValue::Boolean(true));
        file.Map().SetValue("Notice", "Logo", ProfileValue::Blob(std::vector<uint8_t>(10000, 0xA5)));
        REQUIRE(file.Save(WideFromAnsi(path), FALSE));
        CHECK_FALSE(file.Save(WideFromAnsi(path), FALSE));  // exists: left alone
        CHECK(file.Path().empty());
        CHECK_FALSE(file.Save(TRUE));  // nothing loaded, no path
    }
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    CHECK(file.GetString("Product", "Name") == Utf8ToAnsi("Переводчик"));
    CHECK(ValueOf(file, "Product", "Build").Number() == 512);
    CHECK(ValueOf(file, "Product", "Beta").m_cType == 'B');
    CHECK(ValueOf(file, "Notice", "Logo").m_vecData == std::vector<uint8_t>(10000, 0xA5));
    CHECK(file.GetSectionCount() == 2);
    CHECK(file.GetKeyCount("Product") == 3);

    const std::vector<uint8_t> before = ReadFileBytes(path);
    file.Map().SetValue("Product", "Build", ProfileValue::Integer(513));
    REQUIRE(file.Save(TRUE));
    CHECK(ReadFileBytes(path) != before);
    ProfileFile again;
    REQUIRE(again.Load(WideFromAnsi(path), FALSE));
    CHECK(ValueOf(again, "Product", "Build").Number() == 513);
    CHECK(FilesIn(folder) == std::vector<std::string>{"all.acr"});
}

TEST_CASE("a file whose name holds a character ending in the byte of a backslash saves and loads") {
    // In code page 932 "Ы" is 0x84 0x5C; the folder of the path ends before the name.
    ScratchFolder folder("profile_dbcs");
    const std::string name = Utf8ToAnsi("ЧАСЫ.acr");
    const std::string path = folder.File(name);
    {
        ProfileFile file;
        file.Map().SetValue("Info", "Module", ProfileValue::String("Clock"));
        REQUIRE(file.Save(WideFromAnsi(path), TRUE));
    }
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    CHECK(file.GetString("Info", "Module") == "Clock");
    CHECK(file.Path() == WideFromAnsi(path));
    CHECK(FilesIn(folder) == std::vector<std::string>{name});
}

TEST_CASE("a save writes the counts of what it writes; a consistent file saves unchanged") {
    ScratchFolder folder("profile_counts");
    // Key "K" and section "Next" stored twice: the map holds each once.
    BodyBytes twice;
    twice.Integer(3)
        .String("Dup").Integer(2).String("K").Type('S').String("old").String("K").Type('S').String("new")
        .String("Next").Integer(1).String("A").Type('S').String("a")
        .String("Next").Integer(1).String("B").Type('S').String("b");
    BodyBytes once;
    once.Integer(2)
        .String("Dup").Integer(1).String("K").Type('S').String("new")
        .String("Next").Integer(1).String("B").Type('S').String("b");
    const struct {
        const char* name;
        std::vector<uint8_t> stored;
        std::vector<uint8_t> saved;
    } cases[] = {
        {"names stored twice", ScrambledFile(twice), ScrambledFile(once)},
        {"each name once", ScrambledFile(once), ScrambledFile(once)},
        {"a file built by hand", kAboutFile, kAboutFile},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        const std::string path = folder.File("counts.acr");
        REQUIRE(WriteFileBytes(path, c.stored));
        ProfileFile file;
        REQUIRE(file.Load(WideFromAnsi(path), FALSE));
        REQUIRE(file.Save(TRUE));
        CHECK(ReadFileBytes(path) == c.saved);
    }
    ProfileFile again;
    REQUIRE(again.Load(WideFromAnsi(folder.File("counts.acr")), FALSE));
    CHECK(again.GetString("About", "Module") == "Velmora");
}

TEST_CASE("a save over an existing file goes through the replace-file operation; a new file is moved into place") {
    ScratchFolder folder("profile_replace");
    const std::string path = folder.File("target.acr");
    REQUIRE(WriteFileBytes(path, kAboutFile));
    // The platform's replace-file operation gives the new file the target's
    // attributes and security settings.
    ImportPatch patch(GetModuleHandleW(nullptr), "kernel32.dll", "ReplaceFileW", reinterpret_cast<void*>(&RecordingReplaceFile));
    REQUIRE(patch.Patched());
    g_realReplaceFile = reinterpret_cast<ReplaceFileFn>(patch.Original());
    g_replaced.clear();
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    file.Map().SetValue("About", "Module", ProfileValue::String("Changed"));
    REQUIRE(file.Save(TRUE));
    CHECK(g_replaced == std::vector<std::wstring>{Wide(path)});
    REQUIRE(file.Save(WideFromAnsi(folder.File("new.acr")), TRUE));
    CHECK(g_replaced.size() == 1);
    for (const char* name : {"target.acr", "new.acr"}) {
        ProfileFile saved;
        REQUIRE(saved.Load(WideFromAnsi(folder.File(name)), FALSE));
        CHECK(saved.GetString("About", "Module") == "Changed");
    }
    CHECK(FilesIn(folder) == std::vector<std::string>{"new.acr", "target.acr"});
}

namespace {
// A replace-file operation that stops half-way, as Windows may: the target is
// left in place (ERROR_UNABLE_TO_MOVE_REPLACEMENT), deleted as when no backup
// was asked for, or moved to the backup name (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
// the replacement stays where it is, or has already taken the target's place.
enum class HalfWay { KeepTarget, DeleteTarget, BackUpTarget, ReplaceTarget };
HalfWay g_halfWay = HalfWay::KeepTarget;
BOOL WINAPI HalfReplaceFile(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
    if (g_halfWay == HalfWay::DeleteTarget || g_halfWay == HalfWay::ReplaceTarget) DeleteFileW(replaced);
    if (g_halfWay == HalfWay::ReplaceTarget) MoveFileW(replacement, replaced);
    if (g_halfWay == HalfWay::BackUpTarget) MoveFileW(replaced, backup);
    SetLastError(g_halfWay == HalfWay::BackUpTarget ? ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
                                                    : ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}

// A MoveFileEx that refuses its first g_refusedMoves calls, as when a scanner
// holds the file open.
using MoveFileExFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
MoveFileExFn g_realMoveFileEx = nullptr;
int g_refusedMoves = 0;
BOOL WINAPI RefusingMoveFileEx(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (g_refusedMoves-- > 0) return SetLastError(ERROR_SHARING_VIOLATION), FALSE;
    return g_realMoveFileEx(from, to, flags);
}

// A path never stands for the overwrite flag, and no path is built from a
// bare pointer, which may be null.
template <class... Args, class = decltype(std::declval<ProfileFile&>().Save(std::declval<Args>()...))>
constexpr bool Saves(int) { return true; }
template <class... Args>
constexpr bool Saves(...) { return false; }
static_assert(Saves<bool>(0) && Saves<std::wstring, bool>(0), "a flag, or a path and a flag");
static_assert(!Saves<const wchar_t*>(0) && !Saves<const char*>(0), "no path where the flag belongs");
static_assert(!Saves<std::nullptr_t, bool>(0) && !Saves<const wchar_t*, bool>(0), "no path from a pointer");
}  // namespace

TEST_CASE("a replacement stopped half-way puts the new file or the old one in place and leaves no temporary file") {
    using Result = ProfileFile::SaveResult;
    const struct {
        const char* what;
        HalfWay halfWay;
        int refusedMoves;
        Result::Outcome outcome;
        bool newData;  // what the one file left holds
        bool hidden;   // the old file's attribute, carried over
        std::vector<std::string> files;  // "~" stands for a file of the save's own
    } cases[] = {
        {"target left in place", HalfWay::KeepTarget, 0, Result::NotSaved, false, true, {"target.acr"}},
        {"target moved aside, new file moved in", HalfWay::BackUpTarget, 0, Result::Saved, true, true, {"target.acr"}},
        {"target moved aside, new file refused, old moved back", HalfWay::BackUpTarget, 1, Result::NotSaved, false, true,
         {"target.acr"}},
        {"target moved aside, every move refused", HalfWay::BackUpTarget, 2, Result::SetAside, false, true, {"~"}},
        {"target deleted, new file moved in", HalfWay::DeleteTarget, 0, Result::Saved, true, false, {"target.acr"}},
        {"target deleted, no move possible", HalfWay::DeleteTarget, 1, Result::SetAside, true, false, {"~"}},
        {"target replaced, temporary gone", HalfWay::ReplaceTarget, 0, Result::Saved, true, false, {"target.acr"}},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        ScratchFolder folder("profile_halfreplace");
        const std::string path = folder.File("target.acr");
        REQUIRE(WriteFileBytes(path, kAboutFile));
        REQUIRE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
        ProfileFile file;
        REQUIRE(file.Load(WideFromAnsi(path), FALSE));
        file.Map().SetValue("About", "Module", ProfileValue::String("Changed"));
        g_halfWay = c.halfWay;
        g_refusedMoves = c.refusedMoves;
        Result result{Result::NotSaved, {}};
        {
            ImportPatch replace(GetModuleHandleW(nullptr), "kernel32.dll", "ReplaceFileW",
                                reinterpret_cast<void*>(&HalfReplaceFile));
            ImportPatch move(GetModuleHandleW(nullptr), "kernel32.dll", "MoveFileExW",
                             reinterpret_cast<void*>(&RefusingMoveFileEx));
            REQUIRE((replace.Patched() && move.Patched()));
            g_realMoveFileEx = reinterpret_cast<MoveFileExFn>(move.Original());
            result = file.Save(true);
            CHECK(result.outcome == c.outcome);
        }
        std::vector<std::string> files = FilesIn(folder);
        REQUIRE(files.size() == 1);
        const std::string left = folder.File(files[0]);
        // The caller is told which file holds the only copy.
        CHECK(result.keptFile == (c.outcome == Result::SetAside ? WideFromAnsi(left) : std::wstring()));
        if (files[0].compare(0, 4, "~prf") == 0) files = {"~"};
        CHECK(files == c.files);
        ProfileFile saved;
        REQUIRE(saved.Load(WideFromAnsi(left), FALSE));
        CHECK(saved.GetString("About", "Module") == (c.newData ? "Changed" : "Velmora"));
        CHECK(((GetFileAttributesA(left.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0) == c.hidden);
    }
}

TEST_CASE("a folder too long for GetTempFileName still takes a file whose path fits") {
    ScratchFolder base("profile_long");
    const std::string folder = base.Path() + std::string(MAX_PATH - 13 - base.Path().size(), 'd');
    REQUIRE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string path = folder + "\\a.acr";
    ImportPatch narrow(GetModuleHandleW(nullptr), "kernel32.dll", "GetTempFileNameA", reinterpret_cast<void*>(&WindowsTempNameA));
    ImportPatch wide(GetModuleHandleW(nullptr), "kernel32.dll", "GetTempFileNameW", reinterpret_cast<void*>(&WindowsTempNameW));
    g_realTempNameA = reinterpret_cast<GetTempFileNameAFn>(narrow.Original());
    g_realTempNameW = reinterpret_cast<GetTempFileNameWFn>(wide.Original());
    ProfileFile file;
    file.Map().SetValue("Info", "Module", ProfileValue::String("First"));
    REQUIRE(file.Save(WideFromAnsi(path), TRUE));  // a new file
    file.Map().SetValue("Info", "Module", ProfileValue::String("Second"));
    REQUIRE(file.Save(WideFromAnsi(path), TRUE));  // over the existing one
    ProfileFile again;
    REQUIRE(again.Load(WideFromAnsi(path), FALSE));
    CHECK(again.GetString("Info", "Module") == "Second");
    CHECK(FilesIn(folder) == std::vector<std::string>{"a.acr"});
}

TEST_CASE("the write-back flag saves at destruction") {
    ScratchFolder folder("profile_writeback");
    const std::string path = folder.File("back.acr");
    REQUIRE(WriteFileBytes(path, kAboutFile));
    {
        ProfileFile file;
        REQUIRE(file.Load(WideFromAnsi(path), FALSE));
        file.Map().SetValue("About", "Module", ProfileValue::String("Changed"));
        file.SetModified(TRUE);
    }
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    CHECK(file.GetString("About", "Module") == "Changed");
}

TEST_CASE("parsing: sections stored twice, empty and cut strings, empty blobs, other types") {
    ScratchFolder folder("profile_parse");
    BodyBytes body;
    body.Integer(3)
        .String("Dup").Integer(1).String("Old").Type('S').String("first")
        .String("Texts").Integer(5)
            .String("Empty").Type('S').String("")
            .String("Inner").Type('S').String(std::string("ab\0cd", 5))
            .String("Blob").Type('H').Blob("")
            .String("After").Type('S').String("still read")
            .String("Other").Type('Z')
        .String("Dup").Integer(2).String("New").Type('S').String("second").String("Flag").Type('B').Boolean(7);
    Scrambling other;
    other.multiplier = 0x0001;
    other.increment = 0x7777;
    other.seed = 0x0000;
    other.reserved = 0xEE;
    const std::string path = folder.File("parse.acr");
    REQUIRE(WriteFileBytes(path, ScrambledFile(body, other)));

    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    CHECK(file.GetSectionCount() == 3);
    CHECK(file.Map().Sections().size() == 2);
    CHECK(file.GetString("Dup", "Old") == "");
    CHECK(file.GetString("Dup", "New") == "second");
    CHECK(file.GetKeyCount("Dup") == 2);
    CHECK(ValueOf(file, "Dup", "Flag").Number() == 7);
    CHECK(file.GetString("Texts", "Empty") == "");
    CHECK(ValueOf(file, "Texts", "Empty").m_vecData == std::vector<uint8_t>{0});
    CHECK(file.GetString("Texts", "Inner") == "ab");
    CHECK(ValueOf(file, "Texts", "Blob").m_vecData.empty());
    CHECK(file.GetString("Texts", "After") == "still read");
    CHECK(ValueOf(file, "Texts", "Other").m_cType == 'Z');
    CHECK(file.GetString("Texts", "Other") == "");
}

TEST_CASE("damaged lengths and counts end parsing without reading past the data") {
    ScratchFolder folder("profile_damaged");
    // Each file passes its checks; what comes before the damage is kept.
    static const struct {
        const char* name;
        BodyBytes body;
        const char* keptKey;  // a key of section "S" read before the damage, or null
    } cases[] = {
        {"huge section count", BodyBytes().Integer(0x7FFFFFFF).String("S").Integer(1).String("A").Type('S').String("a"), "A"},
        {"huge key count", BodyBytes().Integer(1).String("S").Integer(0x7FFFFFFF).String("A").Type('S').String("a"), "A"},
        {"string length 0xFFFFFFFF", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                                         .String("B").Type('S').StringWithLength(0xFFFFFFFF, "bb"), "A"},
        {"blob length 0xFFFFFFFF", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                                       .String("B").Type('H').Tag(4).U32(0xFFFFFFFF).Raw("bb"), "A"},
        {"blob longer than the data", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                                          .String("B").Type('H').Tag(4).U32(3).Raw("bb"), "A"},
        {"name length beyond the data", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                                            .StringWithLength(100, "B"), "A"},
        {"integer cut short", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                                  .String("B").Tag(2).Raw("\x53"), "A"},
        {"wrong tag", BodyBytes().Integer(1).String("S").Integer(2).String("A").Type('S').String("a")
                          .String("B").Type('S').Integer(5), "A"},
        {"negative section count", BodyBytes().Integer(-1).String("S").Integer(1), nullptr},
        {"section count cut short", BodyBytes().Tag(2).Raw("\x01"), nullptr},
        {"empty body", BodyBytes(), nullptr},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        const std::string path = folder.File("damaged.acr");
        REQUIRE(WriteFileBytes(path, ScrambledFile(c.body)));
        ProfileFile file;
        REQUIRE(file.Load(WideFromAnsi(path), FALSE));
        CHECK(file.GetString("S", "B") == "");
        CHECK(file.GetString("S", "") == "");
        if (c.keptKey) {
            CHECK(file.GetString("S", c.keptKey) == "a");
        } else {
            CHECK(file.Map().Sections().empty());
        }
    }
}

TEST_CASE("files that fail their checks do not load and leave the object as it was") {
    ScratchFolder folder("profile_bad");
    const std::string good = folder.File("good.acr");
    REQUIRE(WriteFileBytes(good, kAboutFile));
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(good), FALSE));

    std::vector<uint8_t> flipped = kAboutFile;
    flipped[40] ^= 0x01;
    std::vector<uint8_t> wrongMagic = kAboutFile;
    wrongMagic[1] = 0x1B;
    const std::vector<uint8_t> headerOnly(kAboutFile.begin(), kAboutFile.begin() + 16);
    const std::vector<uint8_t> shortHeader(kAboutFile.begin(), kAboutFile.begin() + 10);
    BodyBytes other;
    other.Integer(1).String("About").Integer(1).String("Module").Type('S').String("Other");
    std::vector<uint8_t> wrongMarker = ScrambledFile(other);
    wrongMarker[16] = 0x1B;
    static const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;
    } cases[] = {{"one body byte changed", &flipped},  {"wrong magic", &wrongMagic}, {"header only", &headerOnly},
                 {"short header", &shortHeader},        {"wrong marker", &wrongMarker}};
    for (const auto& c : cases) {
        CAPTURE(c.name);
        const std::string path = folder.File("bad.acr");
        REQUIRE(WriteFileBytes(path, *c.bytes));
        CHECK_FALSE(file.Load(WideFromAnsi(path), FALSE));
        CHECK(file.GetString("About", "Module") == "Velmora");
        CHECK(file.Path() == WideFromAnsi(good));
    }
    CHECK_FALSE(file.Load(WideFromAnsi(folder.File("missing.acr")), FALSE));
    CHECK_FALSE(file.Load(WideFromAnsi(folder.File("no folder\\x.acr")), TRUE));
    CHECK(file.Path() == WideFromAnsi(good));
}

TEST_CASE("a missing file is created empty on request; loading it later fails at the header") {
    ScratchFolder folder("profile_create");
    const std::string path = folder.File("new.acr");
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), TRUE));
    CHECK(file.Path() == WideFromAnsi(path));
    CHECK(file.Map().Sections().empty());
    CHECK(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(ReadFileBytes(path).empty());
    ProfileFile later;
    CHECK_FALSE(later.Load(WideFromAnsi(path), FALSE));
    CHECK_FALSE(later.Load(WideFromAnsi(path), TRUE));
}

TEST_CASE("a file held open by another reader still loads; one held by a writer does not") {
    ScratchFolder folder("profile_shared");
    const std::string path = folder.File("shared.acr");
    REQUIRE(WriteFileBytes(path, kAboutFile));
    {
        UniqueFileHandle reader(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(reader);
        ProfileFile file;
        CHECK(file.Load(WideFromAnsi(path), FALSE));
        CHECK(file.GetString("About", "Module") == "Velmora");
        ProfileFile second;
        CHECK(second.Load(WideFromAnsi(path), FALSE));
    }
    {
        UniqueFileHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(writer);
        ProfileFile file;
        CHECK_FALSE(file.Load(WideFromAnsi(path), FALSE));
    }
}

TEST_CASE("a failed save leaves an existing file intact and no temporary file behind") {
    ScratchFolder folder("profile_failsave");
    const std::string path = folder.File("target.acr");
    REQUIRE(WriteFileBytes(path, kAboutFile));
    ProfileFile file;
    REQUIRE(file.Load(WideFromAnsi(path), FALSE));
    // Large enough to be written in more than one piece.
    file.Map().SetValue("About", "Logo", ProfileValue::Blob(std::vector<uint8_t>(10000, 0x42)));

    SUBCASE("the disk fills up while writing") {
        g_writeCalls = 0;
        ImportPatch patch(GetModuleHandleW(nullptr), "kernel32.dll", "WriteFile", reinterpret_cast<void*>(&WriteFileFailingSecond));
        REQUIRE(patch.Patched());
        g_realWriteFile = reinterpret_cast<WriteFileFn>(patch.Original());
        CHECK_FALSE(file.Save(TRUE));
        CHECK(g_writeCalls == 2);
    }
    SUBCASE("another reader holds the target open") {
        UniqueFileHandle reader(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(reader);
        CHECK_FALSE(file.Save(TRUE));
    }
    SUBCASE("overwriting is not allowed") {
        CHECK_FALSE(file.Save(FALSE));
    }
    CHECK(ReadFileBytes(path) == kAboutFile);
    CHECK(FilesIn(folder) == std::vector<std::string>{"target.acr"});
    CHECK_FALSE(file.Save(WideFromAnsi(folder.File("no folder\\x.acr")), TRUE));
    CHECK(FilesIn(folder) == std::vector<std::string>{"target.acr"});
}
