// Move-and-copy owner of one COM interface reference.
#pragma once
#include <objbase.h>
#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(other.Take()) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other) { ComPtr(other).Swap(*this); return *this; }
    ComPtr& operator=(ComPtr&& other) noexcept { ComPtr(std::move(other)).Swap(*this); return *this; }

    // Adopts a reference the caller already owns.
    static ComPtr Attach(T* p) { ComPtr c; c.m_p = p; return c; }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T* Take() { T* p = m_p; m_p = nullptr; return p; }
    void Reset() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }
    void Swap(ComPtr& other) { std::swap(m_p, other.m_p); }
    // Address of an empty pointer for a function that fills it.
    T** Receive() { Reset(); return &m_p; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    template <typename U>
    [[nodiscard]] HRESULT As(ComPtr<U>* out) const {
        return m_p ? m_p->QueryInterface(__uuidof(U), out->ReceiveVoid()) : E_POINTER;
    }
    // Hands a new reference to an out-parameter.
    void CopyTo(T** out) const { *out = m_p; if (m_p) m_p->AddRef(); }

private:
    T* m_p = nullptr;
};
