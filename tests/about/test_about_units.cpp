// The About component's small pieces: the version line's one-placeholder
// formatting and the conversion of DlgAbout's arguments to resource IDs.
#include <doctest/doctest.h>
#include "about/resource_id_argument.h"
#include "about/single_string_format.h"
#include "common/bstr.h"
#include "common/missing_argument.h"

TEST_CASE("only the first %s of a template text is filled") {
    const struct {
        const wchar_t* format;
        const wchar_t* argument;
        const wchar_t* result;
    } cases[] = {
        {L"Версия %s", L"5.1.2.3", L"Версия 5.1.2.3"},
        {L"Версия %s", L"", L"Версия "},
        {L"%s", L"a%sb", L"a%sb"},            // the argument is never a format
        {L"%s and %s", L"x", L"x and %s"},    // no second argument to read
        {L"%d %n %x %s", L"v", L"%d %n %x v"},
        {L"100%% %s", L"v", L"100% v"},
        {L"%%s %s", L"v", L"%s v"},
        {L"no placeholder", L"v", L"no placeholder"},
        {L"trailing %", L"v", L"trailing %"},
        {L"", L"v", L""},
    };
    for (const auto& c : cases) {
        CAPTURE(std::wstring(c.format).size());
        CHECK(FormatSingleString(c.format, c.argument) == c.result);
    }
}

TEST_CASE("DlgAbout arguments: VT_I2 sign-extended, VT_I4 as is, everything else 0") {
    VARIANT v;
    VariantInit(&v);
    CHECK(ResourceIdFromArgument(v) == 0);  // VT_EMPTY
    CHECK(ResourceIdFromArgument(MissingArgument()) == 0);

    V_VT(&v) = VT_I2;
    V_I2(&v) = -1;
    CHECK(static_cast<ULONG>(ResourceIdFromArgument(v)) == 0xFFFFFFFFu);
    V_I2(&v) = 0x7FFF;
    CHECK(ResourceIdFromArgument(v) == 0x7FFF);

    V_VT(&v) = VT_I4;
    V_I4(&v) = 0x12345678;
    CHECK(ResourceIdFromArgument(v) == 0x12345678);
    V_I4(&v) = -2;
    CHECK(ResourceIdFromArgument(v) == -2);

    // An error other than "parameter not found" is not an ID either.
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = 5;
    CHECK(ResourceIdFromArgument(v) == 0);

    const VARTYPE others[] = {VT_UI2, VT_UI4, VT_INT, VT_R8, VT_BOOL, VT_UI1};
    for (VARTYPE type : others) {
        CAPTURE(type);
        VariantInit(&v);
        V_VT(&v) = type;
        V_UI4(&v) = 7;
        CHECK(ResourceIdFromArgument(v) == 0);
    }

    UniqueBstr digits(SysAllocString(L"5"));
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = digits.Get();
    CHECK(ResourceIdFromArgument(v) == 0);

}

TEST_CASE("DlgAbout arguments passed by reference, as script hosts pass variables, are read through it") {
    LONG i4 = 7;
    SHORT i2 = -1;
    VARIANT v;
    V_VT(&v) = VT_I4 | VT_BYREF;
    V_I4REF(&v) = &i4;
    CHECK(ResourceIdFromArgument(v) == 7);
    V_VT(&v) = VT_I2 | VT_BYREF;
    V_I2REF(&v) = &i2;
    CHECK(static_cast<ULONG>(ResourceIdFromArgument(v)) == 0xFFFFFFFFu);
    V_I2REF(&v) = nullptr;
    CHECK(ResourceIdFromArgument(v) == 0);

    VARIANT inner;
    VariantInit(&inner);
    V_VT(&inner) = VT_I2;
    V_I2(&inner) = 12;
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = &inner;
    CHECK(ResourceIdFromArgument(v) == 12);
    // A reference to a reference reaches a real value too.
    VARIANT outer;
    V_VT(&outer) = VT_I4 | VT_BYREF;
    V_I4REF(&outer) = &i4;
    V_VARIANTREF(&v) = &outer;
    CHECK(ResourceIdFromArgument(v) == 7);
    V_VARIANTREF(&v) = const_cast<VARIANT*>(&MissingArgument());
    CHECK(ResourceIdFromArgument(v) == 0);
    V_VARIANTREF(&v) = nullptr;
    CHECK(ResourceIdFromArgument(v) == 0);

    // Other referenced types are no IDs, as by value.
    double r8 = 5;
    V_VT(&v) = VT_R8 | VT_BYREF;
    V_R8REF(&v) = &r8;
    CHECK(ResourceIdFromArgument(v) == 0);
}
