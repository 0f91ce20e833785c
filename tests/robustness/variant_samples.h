// A zoo of VARIANT arguments for bad-input sweeps: every base type from
// VT_EMPTY to VT_UINT (and a few types that are not valid in a VARIANT at
// all), each plain, by reference, by a null reference, as a one-element
// array, as an array by reference, as an array with a null descriptor, and
// through a referenced VARIANT; BSTRs with embedded zeros and of 1 MB.
//
// Every sample owns what its VARIANT points at, for as long as the sample
// lives; the VARIANT itself is only to be read (callers pass copies of the
// bits, as COM does for an [in] VARIANT).
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <string>
#include <vector>

// What the logon object makes of a sample given as an optional text argument.
enum class TextOutcome {
    Ignored,  // the member keeps its value
    Text,     // the member becomes `text`
    Either,   // either of the two (locale-dependent or platform-dependent conversions)
};

class VariantSample {
public:
    VariantSample(std::string name, TextOutcome outcome, std::wstring text = std::wstring());
    ~VariantSample();
    VariantSample(const VariantSample&) = delete;
    VariantSample& operator=(const VariantSample&) = delete;

    const std::string& Name() const { return m_name; }
    const VARIANT& Value() const { return m_value; }
    VARIANT& Mutable() { return m_value; }
    TextOutcome Outcome() const { return m_outcome; }
    const std::wstring& Text() const { return m_text; }

    // Storage that lives as long as the sample, for what references point at.
    VARIANT* StoredVariant();
    BSTR* StoredBstr(BSTR value);
    SAFEARRAY** StoredArray(SAFEARRAY* array);
    void* StoredBytes(size_t size);
    // Marks the VARIANT as owning its content (cleared with VariantClear).
    void OwnsContent() { m_ownsContent = true; }

private:
    std::string m_name;
    TextOutcome m_outcome;
    std::wstring m_text;
    VARIANT m_value;
    bool m_ownsContent = false;
    std::vector<std::unique_ptr<VARIANT>> m_variants;
    std::vector<std::unique_ptr<BSTR>> m_bstrs;
    std::vector<std::unique_ptr<SAFEARRAY*>> m_arrays;
    std::vector<std::unique_ptr<std::vector<unsigned char>>> m_bytes;
};

// All samples; `hugeChars` sets the length of the huge BSTR samples.
std::vector<std::unique_ptr<VariantSample>> MakeVariantSamples(size_t hugeChars = 1 << 20);

// A BSTR of `chars` characters (not all equal), owned by the caller.
BSTR MakeHugeBstr(size_t chars);
// L"ab\0cd" as a 5-character BSTR.
BSTR MakeBstrWithZeros();
