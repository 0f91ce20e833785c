// A damaged environment: a setup folder with thousands of *.acr files of
// random bytes and damaged counts, a Logon key whose values have the wrong
// types or huge sizes, and a folders key whose "Setup" is not a string. The
// About box and the logon object must behave sensibly, within a bounded time.
#include <doctest/doctest.h>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include "about/notice_list.h"
#include "acr_writer.h"
#include "logon_test_support.h"
#include "quarnver_module.h"
#include "robustness_support.h"
#include "setup_folder.h"
#include "standins/standin_control.h"

namespace {
const wchar_t kFoldersKey[] = L"Software\\Velmora\\QUARN 5\\Folders";

// What one bounded run of the About box showed.
struct BoxRun {
    double seconds = 0;
    std::string notices;
    bool listShown = false;  // the dialog keeps its full height
};

BOOL CALLBACK FindVisibleAboutBoxProc(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (WindowText(window) != kAboutCaption) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

HWND FindVisibleAboutBox() {
    HWND found = nullptr;
    EnumWindows(FindVisibleAboutBoxProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string NarrowText(HWND control) {
    const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(copied));
    return text;
}

// Shows the box and reads it back. A box that has not come up within
// `limitSeconds` ends the test program: the run is bounded whatever happens.
BoxRun ShowBounded(QuarnverModule& dll, double limitSeconds) {
    ComPtr<IQuarn5About> about = dll.Create<IQuarn5About>(CLSID_Quarn5About);
    REQUIRE(about);
    BoxRun run;
    std::thread driver([&] {
        const double start = Seconds();
        HWND box = nullptr;
        while (!(box = FindVisibleAboutBox())) {
            if (Seconds() - start > limitSeconds) {
                printf("FAILED: the About box did not come up within %.0f s\n", limitSeconds);
                fflush(stdout);
                ExitProcess(3);
            }
            Sleep(5);
        }
        run.notices = NarrowText(GetDlgItem(box, 1001));
        RECT dialog, group;
        GetWindowRect(box, &dialog);
        GetWindowRect(GetDlgItem(box, 1004), &group);
        run.listShown = dialog.bottom > group.top;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const double start = Seconds();
    VARIANT missing = VariantOfMissing();
    CHECK(about->DlgAbout(missing, missing) == S_OK);
    run.seconds = Seconds() - start;
    driver.join();
    return run;
}

// Text of the safe alphabet: no brackets and no line ends, so that the
// blocks of the list can be counted.
std::string RandomWord(std::mt19937& random, size_t maxLength) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 ";
    std::string word(random() % (maxLength + 1), ' ');
    for (char& c : word) c = alphabet[random() % (sizeof alphabet - 1)];
    return word;
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, const std::string& text, uint32_t storedLength) {
    out.push_back(1);
    PutU32(out, storedLength);
    out.insert(out.end(), text.begin(), text.end());
}

void PutInteger(std::vector<uint8_t>& out, uint32_t value, uint8_t tag = 2) {
    out.push_back(tag);
    PutU32(out, value);
}

uint32_t DamagedCount(std::mt19937& random) {
    static const uint32_t counts[] = {0, 1, 2, 3, 7, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 100000, 65536};
    return counts[random() % (sizeof counts / sizeof counts[0])];
}

// A body that verifies but whose items lie: damaged counts and lengths,
// wrong tags, unknown type codes, cut anywhere.
std::vector<uint8_t> LyingBody(std::mt19937& random) {
    static const char* const sections[] = {"Info", "Copyrights", "Other"};
    static const char* const keys[] = {"Module", "1", "2", "3", "x"};
    static const uint8_t types[] = {'S', 'S', 'S', 'I', 'B', 'H', 'Z'};
    std::vector<uint8_t> body;
    const int sectionCount = static_cast<int>(random() % 4);
    PutInteger(body, random() % 3 == 0 ? DamagedCount(random) : static_cast<uint32_t>(sectionCount));
    for (int s = 0; s < sectionCount; ++s) {
        const std::string name = sections[random() % 3];
        PutString(body, name, static_cast<uint32_t>(name.size()));
        const int keyCount = static_cast<int>(random() % 4);
        PutInteger(body, random() % 2 == 0 ? DamagedCount(random) : static_cast<uint32_t>(keyCount));
        for (int k = 0; k < keyCount; ++k) {
            const std::string key = keys[random() % 5];
            PutString(body, key, static_cast<uint32_t>(key.size()));
            const uint8_t type = types[random() % sizeof types];
            PutInteger(body, type);
            const std::string text = RandomWord(random, 20);
            switch (random() % 6) {
            case 0: PutString(body, text, DamagedCount(random)); break;               // a lying length
            case 1: PutInteger(body, random(), static_cast<uint8_t>(random() % 6)); break;  // any tag
            case 2: body.push_back(4); PutU32(body, DamagedCount(random)); break;     // a blob that is not there
            default: PutString(body, text, static_cast<uint32_t>(text.size())); break;
            }
        }
    }
    if (random() % 3 == 0 && !body.empty()) body.resize(random() % body.size());
    return body;
}

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t maxLength) {
    std::vector<uint8_t> bytes(random() % (maxLength + 1));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    if (bytes.size() >= 2 && bytes[0] == 0x1A && bytes[1] == 0x1A) bytes[0] = 0;
    return bytes;
}

size_t CountBlocks(const std::string& notices) {
    size_t blocks = 0;
    size_t pos = 0;
    while (pos < notices.size()) {
        const size_t end = notices.find("\r\n", pos);
        const std::string line = notices.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.front() == '[' && line.back() == ']') ++blocks;
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return blocks;
}

size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos + 2)) ++lines;
    return lines;
}

struct AboutFixture {
    ComApartment com;
    QuarnverModule dll;
    ~AboutFixture() { CHECK(dll.CanUnloadNow() == S_OK); }
};
}  // namespace

TEST_CASE_FIXTURE(AboutFixture, "thousands of damaged *.acr files give one block each, in bounded time") {
    SetupFolder folder("robust_acr_thousands");
    std::mt19937 random(20261207);
    size_t files = 0;
    for (int i = 0; i < 1500; ++i, ++files) folder.Add("random" + std::to_string(i) + ".acr", RandomBytes(random, 300));
    for (int i = 0; i < 600; ++i, ++files) folder.Add("lying" + std::to_string(i) + ".acr", AcrImage(LyingBody(random)));
    for (int i = 0; i < 20; ++i, ++files)
        folder.Add("good" + std::to_string(i) + ".acr", AcrImage(NoticeFile("M" + std::to_string(i), {"C1", "C2"})));
    folder.Add("empty.acr", {});
    ++files;
    REQUIRE(CreateDirectoryA((folder.Path() + "folder.acr").c_str(), nullptr));
    ++files;
    // A file held open without sharing cannot be read.
    folder.Add("locked.acr", AcrImage(NoticeFile("Locked", {"L"})));
    ++files;
    const HANDLE locked = CreateFileA((folder.Path() + "locked.acr").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    REQUIRE(locked != INVALID_HANDLE_VALUE);

    const BoxRun run = ShowBounded(dll, 60);
    CloseHandle(locked);
    printf("%zu files: the box came up and closed in %.2f s, %zu characters, %zu lines\n", files, run.seconds,
           run.notices.size(), CountLines(run.notices));
    CHECK(run.seconds < 45);
    CHECK(run.listShown);
    CHECK(CountBlocks(run.notices) == files);
    for (int i = 0; i < 20; ++i) {
        const std::string block = "[M" + std::to_string(i) + "]\r\nC1\r\nC2\r\n\r\n";
        CHECK(run.notices.find(block) != std::string::npos);
    }
    CHECK(run.notices.find("[Locked]") == std::string::npos);
    CHECK(CountLines(run.notices) <= files * (kMaxNoticeLinesPerFile + 2));
    RemoveDirectoryA((folder.Path() + "folder.acr").c_str());
}

TEST_CASE_FIXTURE(AboutFixture, "stored notice counts up to 4294967295 neither hang the box nor exhaust memory") {
    SetupFolder folder("robust_acr_counts");
    const uint32_t counts[] = {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 1000000};
    const int kFiles = 40;
    for (int i = 0; i < kFiles; ++i) {
        std::vector<AcrSection> sections = NoticeFile("Huge" + std::to_string(i), {"first", "second"});
        sections.back().overrideCount = true;
        sections.back().storedCount = counts[i % 4];
        folder.Add("huge" + std::to_string(i) + ".acr", AcrImage(sections));
    }
    const ProcessFigures before = MeasureProcess();
    const BoxRun run = ShowBounded(dll, 90);
    const ProcessFigures after = MeasureProcess();
    printf("%d files claiming up to 4294967295 notices: %.2f s, %zu characters, %zu lines; %s -> %s\n", kFiles,
           run.seconds, run.notices.size(), CountLines(run.notices), Describe(before).c_str(),
           Describe(after).c_str());
    CHECK(run.seconds < 60);
    CHECK(CountBlocks(run.notices) == static_cast<size_t>(kFiles));
    // A count read as a negative number reads no keys at all; a large
    // positive one reads the keys that are there.
    CHECK(run.notices.find("[Huge0]\r\n\r\n\r\n") != std::string::npos);
    CHECK(run.notices.find("[Huge2]\r\nfirst\r\nsecond\r\n\r\n") != std::string::npos);
    CHECK(CountLines(run.notices) <= kFiles * (kMaxNoticeLinesPerFile + 2));
}

TEST_CASE("Logon values of the wrong type or a huge size give a usable logon object") {
    ComApartment com;
    LogonKeyGuard key;
    QuarnverModule dll;
    InProcessStandInServer server;
    REQUIRE(server.Registered() == S_OK);
    const std::vector<uint8_t> huge(1 << 20, 'u');
    // Texts go through the UTF-16 registry functions.
    std::vector<uint8_t> hugeText;
    for (size_t i = 0; i < huge.size(); ++i) hugeText.insert(hugeText.end(), {'u', 0});
    hugeText.insert(hugeText.end(), {0, 0});
    const std::vector<uint8_t> multi = {'a', 0, 'b', 0, 0};
    const std::vector<uint8_t> expand = {'%', 'T', 'E', 'M', 'P', '%', 0};
    const std::vector<uint8_t> dword = {5, 0, 0, 0};
    const std::vector<uint8_t> qword = {6, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> shortWord = {9, 0};
    const std::vector<uint8_t> noTerminator = {'a', 'b', 'c'};
    const std::vector<uint8_t> none;
    struct Row {
        const char* name;
        const wchar_t* value;
        DWORD type;
        const std::vector<uint8_t>* bytes;
    } rows[] = {
        {"User as a number", L"User", REG_DWORD, &dword},
        {"User of 1 MB", L"User", REG_SZ, &hugeText},
        {"User as 1 MB of bytes", L"User", REG_BINARY, &huge},
        {"User without terminator", L"User", REG_SZ, &noTerminator},
        {"User of no type", L"User", REG_NONE, &none},
        {"Password as a list", L"Password", REG_MULTI_SZ, &multi},
        {"Password of 1 MB", L"Password", REG_BINARY, &huge},
        {"Server as an expandable text", L"Server", REG_EXPAND_SZ, &expand},
        {"Server as a 64-bit number", L"Server", REG_QWORD, &qword},
        {"Server of 1 MB", L"Server", REG_SZ, &hugeText},
        {"Level as text", L"Level", REG_SZ, &expand},
        {"Level as a 64-bit number", L"Level", REG_QWORD, &qword},
        {"Level of two bytes", L"Level", REG_DWORD, &shortWord},
        {"Level of 1 MB", L"Level", REG_BINARY, &huge},
        {"Level as a list", L"Level", REG_MULTI_SZ, &multi},
    };
    for (const Row& row : rows) {
        INFO(row.name);
        DeleteTree(HKEY_CURRENT_USER, kLogonKey);
        SetRegValue(HKEY_CURRENT_USER, kLogonKey, row.value, row.type, row.bytes->data(),
                    static_cast<DWORD>(row.bytes->size()));
        const double start = Seconds();
        ComPtr<IQuarn5Logon> logon = dll.Create<IQuarn5Logon>(CLSID_Quarn5Logon);
        REQUIRE(logon);
        LONG level = -1;
        CHECK(logon->get_Level(&level) == S_OK);
        CHECK(logon->put_Level(8) == S_OK);
        const InitializeResult result = Initialize(logon.Get(), L"клиент");
        CHECK(result.hr == S_OK);
        CHECK(result.out == 1);
        for (Property property : {Property::User, Property::Password, Property::Server}) {
            HRESULT hr = E_NOTIMPL;
            const std::wstring text = Get(logon.Get(), property, &hr);
            CHECK(hr == S_OK);
            CHECK(text.size() <= row.bytes->size() + 64);
            CHECK(text.find(L'\0') == std::wstring::npos);
        }
        logon.Reset();
        CHECK(Seconds() - start < 10);
    }
    // Sizes that are read whole are read whole.
    DeleteTree(HKEY_CURRENT_USER, kLogonKey);
    SetRegValue(HKEY_CURRENT_USER, kLogonKey, L"User", REG_SZ, hugeText.data(), static_cast<DWORD>(hugeText.size()));
    ComPtr<IQuarn5Logon> logon = dll.Create<IQuarn5Logon>(CLSID_Quarn5Logon);
    REQUIRE(logon->put_Level(8) == S_OK);
    REQUIRE(Initialize(logon.Get(), L"клиент").hr == S_OK);
    CHECK(Get(logon.Get(), Property::User) == std::wstring(huge.size(), L'u'));
    logon.Reset();
    CHECK(dll.CanUnloadNow() == S_OK);
}

TEST_CASE_FIXTURE(AboutFixture, "a Setup value that is not a string gives a box with or without the list") {
    SetupFolder folder("robust_setup_types");
    folder.Add("one.acr", AcrImage(NoticeFile("One", {"N"})));
    const std::string path = folder.Path();
    std::vector<uint8_t> pathBytes(path.begin(), path.end());
    std::vector<uint8_t> pathList(pathBytes);
    pathList.insert(pathList.end(), {0, 'x', 0, 0});
    const std::vector<uint8_t> dword = {1, 0, 0, 0};
    std::vector<uint8_t> longPath(100000, 'p');
    longPath.push_back(0);
    const std::vector<uint8_t> none;
    const std::string list = "[One]\r\nN\r\n\r\n";
    struct Row {
        const char* name;
        DWORD type;
        const std::vector<uint8_t>* bytes;
    } rows[] = {
        {"a number", REG_DWORD, &dword},
        {"the path as bytes without terminator", REG_BINARY, &pathBytes},
        {"the path in a list", REG_MULTI_SZ, &pathList},
        {"a path of 100000 characters", REG_SZ, &longPath},
        {"no data", REG_NONE, &none},
    };
    for (const Row& row : rows) {
        INFO(row.name);
        SetRegValue(HKEY_LOCAL_MACHINE, kFoldersKey, L"Setup", row.type, row.bytes->data(),
                    static_cast<DWORD>(row.bytes->size()));
        const BoxRun run = ShowBounded(dll, 30);
        CHECK(run.seconds < 20);
        CHECK((run.notices.empty() || run.notices == list));
        CHECK(run.listShown == !run.notices.empty());
    }
    // "Setup" as a key instead of a value.
    folder.ForgetSetupValue();
    HKEY setupKey = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kFoldersKey) + L"\\Setup").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &setupKey, nullptr) == ERROR_SUCCESS);
    RegCloseKey(setupKey);
    const BoxRun run = ShowBounded(dll, 30);
    CHECK(run.notices.empty());
}
