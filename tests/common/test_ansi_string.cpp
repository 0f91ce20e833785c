#include <doctest/doctest.h>
#include "common/ansi_string.h"
#include "common/bstr.h"
#include "test_support.h"

TEST_CASE("text in the ANSI code page round-trips through UTF-16; what it cannot spell does not") {
    const std::string cyrillic = Utf8ToAnsi("Пользователь");
    CHECK(WideFromAnsi(cyrillic) == Utf8ToWide("Пользователь"));
    CHECK(AnsiFromWide(Utf8ToWide("Пользователь")) == cyrillic);
    // The test runs under code page 1251, which has no Greek: what it cannot
    // spell comes back as its default character, the rest unchanged.
    CHECK(WideFromAnsi(AnsiFromWide(L"Ω Я")) == L"? Я");
}

TEST_CASE("empty and null strings") {
    UniqueBstr empty = BstrFromWide(std::wstring());
    REQUIRE(empty.Get() != nullptr);
    CHECK(empty.Length() == 0);
    CHECK(WideFromBstr(nullptr).empty());
    CHECK(WideFromAnsi(std::string()).empty());
    CHECK(AnsiFromWide(std::wstring()).empty());
}

TEST_CASE("embedded zeros survive the conversions") {
    UniqueBstr b(SysAllocStringLen(L"a\0b", 3));
    const std::wstring wide = WideFromBstr(b.Get());
    CHECK(wide == std::wstring(L"a\0b", 3));
    CHECK(AnsiFromWide(wide) == std::string("a\0b", 3));
    CHECK(WideFromAnsi(std::string("a\0b", 3)) == wide);
    UniqueBstr back = BstrFromWide(wide);
    CHECK(std::wstring(back.Get(), back.Length()) == wide);
}
