#include <doctest/doctest.h>
#include "test_registration_support.h"
#include "common/unique_handle.h"

namespace {
// The registry script of one class, as the library must carry it.
std::string ExpectedScript(const std::string& progId, const std::string& versionIndependent,
                           const std::string& className, const std::string& clsid) {
    const char* const lines[] = {
        "HKCR",
        "{",
        "\t@PROGID@ = s '@CLASS@'",
        "\t{",
        "\t\tCLSID = s '@CLSID@'",
        "\t}",
        "\t@VIPROGID@ = s '@CLASS@'",
        "\t{",
        "\t\tCurVer = s '@PROGID@'",
        "\t}",
        "\tNoRemove CLSID",
        "\t{",
        "\t\tForceRemove @CLSID@ = s '@CLASS@'",
        "\t\t{",
        "\t\t\tProgID = s '@PROGID@'",
        "\t\t\tVersionIndependentProgID = s '@VIPROGID@'",
        "\t\t\tForceRemove 'Programmable'",
        "\t\t\tInprocServer32 = s '%MODULE%'",
        "\t\t\t{",
        "\t\t\t\tval ThreadingModel = s 'Apartment'",
        "\t\t\t}",
        "\t\t}",
        "\t}",
        "}",
    };
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    const std::pair<std::string, std::string> fields[] = {
        {"@PROGID@", progId}, {"@VIPROGID@", versionIndependent}, {"@CLASS@", className}, {"@CLSID@", clsid}};
    for (const auto& field : fields) {
        for (size_t at = text.find(field.first); at != std::string::npos; at = text.find(field.first, at))
            text.replace(at, field.first.size(), field.second);
    }
    return text;
}

std::string LogonScript() {
    return ExpectedScript("Quarn5.Logon.1", "Quarn5.Logon", "Quarn5Logon Class",
                          "{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}");
}
std::string AboutScript() {
    return ExpectedScript("Quarn5.About.1", "Quarn5.About", "Quarn5About Class",
                          "{9AB6D601-2E3E-11D3-9751-00E0290CC6BF}");
}

// The bytes of a REGISTRY resource of the built library; empty when missing.
std::string LibraryScript(WORD id, WORD language) {
    UniqueModule library(LoadLibraryExA(QUARNVER_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    REQUIRE(library);
    HRSRC info = FindResourceExA(library.Get(), "REGISTRY", MAKEINTRESOURCEA(id), language);
    if (info == nullptr) return std::string();
    HGLOBAL data = LoadResource(library.Get(), info);
    REQUIRE(data != nullptr);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(library.Get(), info));
}

// The library's script with its root moved to the scratch root; the body
// stays byte for byte.
std::string BelowScratch(const std::string& script) {
    REQUIRE(script.compare(0, 4, "HKCR") == 0);
    return "HKCU { NoRemove Software { NoRemove QuarnverTest { Regscript" + script.substr(4) + " } } }";
}

std::string RegisteredClass(const std::string& progId, const std::string& versionIndependent,
                            const std::string& className, const std::string& clsid, const std::string& path) {
    return "[]\n[CLSID]\n"
           "[CLSID\\" + clsid + "]\nCLSID\\" + clsid + ":@=sz:" + className + "\n"
           "[CLSID\\" + clsid + "\\InprocServer32]\nCLSID\\" + clsid + "\\InprocServer32:@=sz:" + path + "\n"
           "CLSID\\" + clsid + "\\InprocServer32:ThreadingModel=sz:Apartment\n"
           "[CLSID\\" + clsid + "\\ProgID]\nCLSID\\" + clsid + "\\ProgID:@=sz:" + progId + "\n"
           "[CLSID\\" + clsid + "\\Programmable]\n"
           "[CLSID\\" + clsid + "\\VersionIndependentProgID]\nCLSID\\" + clsid +
           "\\VersionIndependentProgID:@=sz:" + versionIndependent + "\n"
           "[" + versionIndependent + "]\n" + versionIndependent + ":@=sz:" + className + "\n"
           "[" + versionIndependent + "\\CurVer]\n" + versionIndependent + "\\CurVer:@=sz:" + progId + "\n"
           "[" + progId + "]\n" + progId + ":@=sz:" + className + "\n"
           "[" + progId + "\\CLSID]\n" + progId + "\\CLSID:@=sz:" + clsid;
}
}  // namespace

TEST_CASE("the library carries both registry scripts byte for byte, in Russian") {
    const std::string logon = LibraryScript(102, MAKELANGID(0x19, 0x01));
    const std::string about = LibraryScript(203, MAKELANGID(0x19, 0x01));
    CHECK(logon.size() == 503);
    CHECK(about.size() == 503);
    CHECK(logon == LogonScript());
    CHECK(about == AboutScript());
    CHECK(logon.find('\0') == std::string::npos);
}

TEST_CASE("the library's scripts register and unregister one class each") {
    const struct {
        WORD id;
        const char* progId;
        const char* versionIndependent;
        const char* className;
        const char* clsid;
    } classes[] = {
        {102, "Quarn5.Logon.1", "Quarn5.Logon", "Quarn5Logon Class", "{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}"},
        {203, "Quarn5.About.1", "Quarn5.About", "Quarn5About Class", "{9AB6D601-2E3E-11D3-9751-00E0290CC6BF}"},
    };
    for (const auto& c : classes) {
        CAPTURE(c.id);
        ScratchKey scratch(kScratchName);
        const std::string script = BelowScratch(LibraryScript(c.id, MAKELANGID(0x19, 0x01)));
        const std::string registered = RegisteredClass(c.progId, c.versionIndependent, c.className, c.clsid,
                                                       "C:\\Program Files\\Velmora's\\quarnver.dll");
        // The path as UpdateRegistryFromResource hands it over: ' doubled.
        ReplacementTable table;
        REQUIRE(table.Add(L"Module", L"C:\\Program Files\\Velmora''s\\quarnver.dll"));

        REQUIRE(RunRegistrationScript(script, table, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == S_OK);
        CHECK(DumpScratch() == registered);
        REQUIRE(RunRegistrationScript(script, table, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == S_OK);
        CHECK(DumpScratch() == registered);
        CHECK(RunRegistrationScript(script, table, FALSE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == S_OK);
        CHECK(DumpScratch() == "[]\n[CLSID]");
    }
}

TEST_CASE("UpdateRegistryFromResource runs a module's script with its path, ' and all") {
    ScratchKey scratch(kScratchName);
    ScratchFolder folder("it's");
    const std::string copy = folder.File("quarn'module.dll");
    REQUIRE(CopyFileA(QUARN_TEST_MODULE_PATH, copy.c_str(), FALSE));
    UniqueModule module(LoadLibraryA(copy.c_str()));
    REQUIRE(module);
    char loadedPath[MAX_PATH * 2] = {};
    REQUIRE(GetModuleFileNameA(module.Get(), loadedPath, sizeof loadedPath) > 0);

    CHECK(UpdateRegistryFromResource(module.Get(), 1, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == S_OK);
    CHECK(DumpScratch() == std::string("[]\n[Server]\nServer:@=sz:") + loadedPath +
                               "\nServer:Percent=sz:100%");
    CHECK(UpdateRegistryFromResource(module.Get(), 1, FALSE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == S_OK);
    CHECK(DumpScratch() == "<absent>");

    // A resource the module does not carry.
    CHECK(UpdateRegistryFromResource(module.Get(), 2, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) == HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    CHECK(UpdateRegistryFromResource(module.Get(), 0x10001, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT}) ==
          HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    // A module without any registry script.
    const HRESULT none = UpdateRegistryFromResource(GetModuleHandleA(nullptr), 1, TRUE, {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT});
    CHECK(FAILED(none));
    CHECK(HRESULT_FACILITY(none) == FACILITY_WIN32);
    CHECK(DumpScratch() == "<absent>");
    module.Close();
}
