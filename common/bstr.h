// Move-only owners of a BSTR and of a VARIANT.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <utility>

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR b) : m_b(b) {}
    ~UniqueBstr() { Reset(); }
    UniqueBstr(UniqueBstr&& other) noexcept : m_b(other.Take()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) { Reset(); m_b = other.Take(); }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const { return m_b; }
    UINT Length() const { return SysStringLen(m_b); }
    BSTR Take() { BSTR b = m_b; m_b = nullptr; return b; }
    void Reset(BSTR b = nullptr) { if (m_b) SysFreeString(m_b); m_b = b; }
    BSTR* Receive() { Reset(); return &m_b; }

private:
    BSTR m_b = nullptr;
};

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&m_v); }
    ~UniqueVariant() { VariantClear(&m_v); }
    UniqueVariant(UniqueVariant&& other) noexcept : UniqueVariant() { std::swap(m_v, other.m_v); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) { VariantClear(&m_v); m_v = other.m_v; VariantInit(&other.m_v); }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() { return &m_v; }
    const VARIANT* Get() const { return &m_v; }
    VARIANT* operator->() { return &m_v; }
    const VARIANT* operator->() const { return &m_v; }
    // Clears the content and hands out the empty VARIANT for a function that fills it.
    VARIANT* Receive() { VariantClear(&m_v); return &m_v; }
    // Hands the content to the caller, leaving this VARIANT empty.
    VARIANT Take() { VARIANT v = m_v; VariantInit(&m_v); return v; }

private:
    VARIANT m_v;
};
