// Text that holds a secret, such as a password. Every buffer the string owns
// is wiped before it goes back to the heap, and so is the string's own storage
// when the string is destroyed: a short text lives inside the object, not on
// the heap. Anything that copies a secret out of a SecretString into other
// memory (a BSTR, a window's text) is responsible for that copy.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <string>
#include <string_view>

template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* p, size_t count) noexcept {
        SecureZeroMemory(p, count * sizeof(T));
        std::allocator<T>().deallocate(p, count);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept { return false; }
};

class SecretString : public std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>> {
    using Base = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;

public:
    SecretString() = default;
    SecretString(const wchar_t* text, size_t length) : Base(text, length) {}
    explicit SecretString(std::wstring_view text) : Base(text.data(), text.size()) {}
    SecretString(const SecretString&) = default;
    SecretString(SecretString&&) noexcept = default;
    SecretString& operator=(const SecretString&) = default;
    SecretString& operator=(SecretString&&) noexcept = default;
    ~SecretString() { Wipe(); }

    // Zeroes every character the string can hold, then empties it.
    void Wipe() noexcept {
        SecureZeroMemory(data(), (capacity() + 1) * sizeof(wchar_t));
        clear();
    }
    operator std::wstring_view() const noexcept { return std::wstring_view(data(), size()); }
};

// Copies text into a SecretString and wipes the source, which the caller
// then frees.
inline SecretString TakeSecret(std::wstring&& text) {
    SecretString secret(text);
    SecureZeroMemory(&text[0], (text.capacity() + 1) * sizeof(wchar_t));
    text.clear();
    return secret;
}

// Zeroes the characters of a BSTR the library owns, before it is freed.
inline void WipeBstr(BSTR text) noexcept {
    if (text) SecureZeroMemory(text, SysStringByteLen(text));
}
