// Move-only owners of a BSTR and of a VARIANT, and the BSTR form of the
// library's UTF-16 text.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <string_view>
#include <utility>

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR b) : m_bstr(b) {}
    ~UniqueBstr() { Reset(); }
    UniqueBstr(UniqueBstr&& other) noexcept : m_bstr(other.Take()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) { Reset(); m_bstr = other.Take(); }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const { return m_bstr; }
    UINT Length() const { return SysStringLen(m_bstr); }
    BSTR Take() { BSTR b = m_bstr; m_bstr = nullptr; return b; }
    void Reset(BSTR b = nullptr) { if (m_bstr) SysFreeString(m_bstr); m_bstr = b; }
    BSTR* Receive() { Reset(); return &m_bstr; }

private:
    BSTR m_bstr = nullptr;
};

// The text of a BSTR; a null BSTR counts as the empty string, embedded zeros
// are kept.
inline std::wstring WideFromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
// A new BSTR holding text (an empty text gives an empty, non-null BSTR);
// null when memory runs out.
inline UniqueBstr BstrFromWide(std::wstring_view text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&m_var); }
    ~UniqueVariant() { VariantClear(&m_var); }
    UniqueVariant(UniqueVariant&& other) noexcept : UniqueVariant() { std::swap(m_var, other.m_var); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) { VariantClear(&m_var); m_var = other.m_var; VariantInit(&other.m_var); }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() { return &m_var; }
    const VARIANT* Get() const { return &m_var; }
    VARIANT* operator->() { return &m_var; }
    const VARIANT* operator->() const { return &m_var; }
    // Clears the content and hands out the empty VARIANT for a function that fills it.
    VARIANT* Receive() { VariantClear(&m_var); return &m_var; }
    // Hands the content to the caller, leaving this VARIANT empty.
    VARIANT Take() { VARIANT v = m_var; VariantInit(&m_var); return v; }

private:
    VARIANT m_var;
};
