#include <doctest/doctest.h>
#include "standin_connect_record.h"

TEST_CASE("a Connect record survives its text form, separators and zeros included") {
    StandInConnectRecord record;
    record.kind = StandInKind::CtlDictDocument;
    record.objectSerial = 4711;
    record.processId = 0x1234;
    record.result = static_cast<HRESULT>(0x80070005);
    StandInConnectArgument text;
    text.type = VT_BSTR;
    text.text = std::wstring(L"a|b\\c\0d\\0|", 11);
    StandInConnectArgument empty;
    empty.type = VT_BSTR;
    empty.emptyBstr = true;
    StandInConnectArgument null;
    null.type = VT_BSTR;
    null.nullBstr = true;
    StandInConnectArgument server;
    server.type = VT_DISPATCH | VT_BYREF;
    server.standInServer = true;
    server.serverSerial = 99;
    StandInConnectArgument nothing;
    nothing.type = VT_UNKNOWN;
    nothing.nullObject = true;
    record.arguments = {text, empty, null, server, nothing};

    const std::optional<StandInConnectRecord> back = DecodeConnectRecord(EncodeConnectRecord(record));
    REQUIRE(back.has_value());
    CHECK(back->kind == record.kind);
    CHECK(back->objectSerial == record.objectSerial);
    CHECK(back->processId == record.processId);
    CHECK(back->result == record.result);
    REQUIRE(back->arguments.size() == record.arguments.size());
    for (size_t i = 0; i < record.arguments.size(); ++i) {
        CAPTURE(i);
        const StandInConnectArgument& want = record.arguments[i];
        const StandInConnectArgument& got = back->arguments[i];
        CHECK(got.type == want.type);
        CHECK(got.text == want.text);
        CHECK(got.nullBstr == want.nullBstr);
        CHECK(got.emptyBstr == want.emptyBstr);
        CHECK(got.nullObject == want.nullObject);
        CHECK(got.standInServer == want.standInServer);
        CHECK(got.serverSerial == want.serverSerial);
    }
}

TEST_CASE("text that is not a whole record is refused") {
    static const wchar_t* const bad[] = {
        L"",                       // nothing
        L"0|1|2|3",                // header cut short
        L"4|1|2|0|0",              // no such class
        L"0|1|2|0|1",              // one argument announced, none there
        L"0|1|2|0|0|8|0|0|x",      // an argument that was not announced
        L"0|1|2|0|1|8|0|0",        // argument cut short
        L"0|1|2|0|1|x|0|0|t",      // type not a number
        L"0|1|2|0|1|70000|0|0|t",  // type out of range
        L"0|1|2|0|1|8|0|0|t\\",    // dangling escape
        L"0|1|2|0|1|8|0|0|t\\q",   // unknown escape
        L"0|99999999999|2|0|0",    // serial out of range
        L"0|-1|2|0|0",             // sign
    };
    for (const wchar_t* text : bad) {
        CAPTURE(std::string(text, text + wcslen(text)));
        CHECK_FALSE(DecodeConnectRecord(text).has_value());
    }
}
