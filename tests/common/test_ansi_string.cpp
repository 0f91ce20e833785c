#include <doctest/doctest.h>
#include <optional>
#include "common/ansi_string.h"
#include "common/bstr.h"
#include "import_patch.h"
#include "test_support.h"

TEST_CASE("text in the ANSI code page round-trips through UTF-16; what it cannot spell does not") {
    const std::string cyrillic = Utf8ToAnsi("Пользователь");
    CHECK(WideFromAnsi(cyrillic) == Utf8ToWide("Пользователь"));
    CHECK(AnsiFromWide(Utf8ToWide("Пользователь")) == cyrillic);
    // The test runs under code page 1251, which has no Greek: what it cannot
    // spell comes back as its default character, the rest unchanged.
    CHECK(WideFromAnsi(AnsiFromWide(L"Ω Я")) == L"? Я");
}

TEST_CASE("profile text is in the system's code page whatever the process's own; a UTF-8 system reads both") {
    const std::wstring text = Utf8ToWide("Модуль «Словарь»");
    const std::string system = Utf8ToAnsi("Модуль «Словарь»"), utf8 = "Модуль «Словарь»";
    enum Windows { AsWine, Utf8Process, Utf8System };
    const struct {
        Windows windows;
        std::string written;
    } cases[] = {{AsWine, system}, {Utf8Process, system}, {Utf8System, utf8}};
    for (const auto& c : cases) {
        CAPTURE(c.windows);
        std::optional<Utf8CodePage> model;
        if (c.windows != AsWine) REQUIRE(model.emplace(GetModuleHandleW(nullptr), c.windows == Utf8System).Patched());
        const ProfileTextCodePage page;
        CHECK(page.FromWide(text) == c.written);
        CHECK(page.ToWide(c.written) == text);
        CHECK(page.ToWide(system) == text);  // as the files installed with the product are
    }
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
