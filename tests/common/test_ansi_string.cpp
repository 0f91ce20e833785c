#include <doctest/doctest.h>
#include <comdef.h>
#include "common/ansi_string.h"
#include "test_support.h"

TEST_CASE("narrow strings round-trip through BSTRs in the ANSI code page") {
    const std::string cyrillic = Utf8ToAnsi("Пользователь");
    UniqueBstr b = BstrFromNarrow(cyrillic);
    CHECK(std::wstring(b.Get(), b.Length()) == Utf8ToWide("Пользователь"));
    CHECK(NarrowFromBstr(b.Get()) == cyrillic);
}

TEST_CASE("empty and null strings") {
    UniqueBstr empty = BstrFromNarrow(std::string());
    REQUIRE(empty.Get() != nullptr);
    CHECK(empty.Length() == 0);
    CHECK(NarrowFromBstr(nullptr).empty());
}

TEST_CASE("embedded zeros survive the conversion") {
    UniqueBstr b(SysAllocStringLen(L"a\0b", 3));
    const std::string narrow = NarrowFromBstr(b.Get());
    CHECK(narrow.size() == 3);
    CHECK(narrow == std::string("a\0b", 3));
}
