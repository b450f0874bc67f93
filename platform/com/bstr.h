// BSTR: UTF-16 text preceded by a 4-byte length prefix holding the byte length, followed by a
// NUL character that the length does not count. A null BSTR is the empty string.
// Plus the UTF-8 <-> UTF-16 conversions used at the COM boundary.
#pragma once

#include "platform/com/types.h"

#include <string>
#include <string_view>
#include <utility>

// Null text gives nullptr.
BSTR SysAllocString(LPCOLESTR text);
// `length` characters copied from `text`, or zero-filled when text is null. Null when the
// length cannot be represented.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `bytes` bytes (an odd count is allowed); the contents are copied or zero-filled.
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
void SysFreeString(BSTR text);
// Characters, from the length prefix (embedded NULs count); 0 for null.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Invalid UTF-8 sequences and unpaired surrogates become U+FFFD.
std::u16string WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::u16string_view wide);
// Up to the first NUL; null gives "".
std::string Utf8FromWide(const char16_t* wide);
// The whole string by its length prefix; null gives "".
std::string Utf8FromBstr(BSTR text);
BSTR BstrFromUtf8(std::string_view utf8);
BSTR BstrFromWide(std::u16string_view wide);
// CoTaskMemAlloc'ed and NUL-terminated; null only when out of memory.
LPWSTR CoTaskWideFromUtf8(std::string_view utf8);
LPWSTR CoTaskWideFromWide(std::u16string_view wide);
// Length up to the first NUL; 0 for null.
std::size_t WideLength(const char16_t* wide);

// Owner of one BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : text_(BstrFromUtf8(utf8)) {}
    explicit Bstr(std::u16string_view wide) : text_(BstrFromWide(wide)) {}
    Bstr(const Bstr& other) : text_(other.text_ ? SysAllocStringLen(other.text_, other.length()) : nullptr) {}
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    ~Bstr() { SysFreeString(text_); }

    static Bstr Adopt(BSTR text) {
        Bstr b;
        b.text_ = text;
        return b;
    }
    BSTR get() const { return text_; }
    BSTR* put() {
        reset();
        return &text_;
    }
    [[nodiscard]] BSTR release() { return std::exchange(text_, nullptr); }
    void reset() { SysFreeString(std::exchange(text_, nullptr)); }
    UINT length() const { return SysStringLen(text_); }
    std::u16string_view view() const { return text_ ? std::u16string_view(text_, length()) : std::u16string_view(); }
    std::string utf8() const { return Utf8FromBstr(text_); }

private:
    BSTR text_ = nullptr;
};
