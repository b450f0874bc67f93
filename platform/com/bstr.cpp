#include "platform/com/bstr.h"

#include "platform/com/memory.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr char32_t kReplacement = 0xFFFD;

char* BlockOf(BSTR text) { return reinterpret_cast<char*>(text) - kPrefix; }

// The byte length must leave room for the prefix and the terminating NUL in 32 bits.
BSTR AllocateBytes(const void* bytes, UINT length) {
    if (length > std::numeric_limits<std::uint32_t>::max() - kPrefix - sizeof(OLECHAR)) return nullptr;
    char* block = static_cast<char*>(std::malloc(kPrefix + length + sizeof(OLECHAR) + 1));
    if (!block) return nullptr;
    const std::uint32_t prefix = length;
    std::memcpy(block, &prefix, kPrefix);
    if (bytes)
        std::memcpy(block + kPrefix, bytes, length);
    else
        std::memset(block + kPrefix, 0, length);
    // NUL terminator (an odd byte length gets an extra zero byte too).
    std::memset(block + kPrefix + length, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Decodes one code point at `i` and advances past it; malformed input yields U+FFFD and
// advances one byte.
char32_t DecodeUtf8(std::string_view in, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(in[i]);
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (in.size() - i <= static_cast<std::size_t>(extra)) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(in[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return c;
}

}  // namespace

BSTR SysAllocString(LPCOLESTR text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(WideLength(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
    return AllocateBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return AllocateBytes(bytes, length); }

void SysFreeString(BSTR text) {
    if (text) std::free(BlockOf(text));
}

UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t prefix;
    std::memcpy(&prefix, BlockOf(text), kPrefix);
    return prefix;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

std::size_t WideLength(const char16_t* wide) {
    if (!wide) return 0;
    std::size_t n = 0;
    while (wide[n] != 0) ++n;
    return n;
}

std::u16string WideFromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

std::string Utf8FromWide(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8FromWide(const char16_t* wide) {
    if (!wide) return {};
    return Utf8FromWide(std::u16string_view(wide, WideLength(wide)));
}

std::string Utf8FromBstr(BSTR text) {
    if (!text) return {};
    return Utf8FromWide(std::u16string_view(text, SysStringLen(text)));
}

BSTR BstrFromWide(std::u16string_view wide) {
    if (wide.size() > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

BSTR BstrFromUtf8(std::string_view utf8) { return BstrFromWide(WideFromUtf8(utf8)); }

LPWSTR CoTaskWideFromWide(std::u16string_view wide) {
    if (wide.size() >= std::numeric_limits<std::size_t>::max() / sizeof(WCHAR)) return nullptr;
    auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
    if (!out) return nullptr;
    if (!wide.empty()) std::memcpy(out, wide.data(), wide.size() * sizeof(WCHAR));
    out[wide.size()] = 0;
    return out;
}

LPWSTR CoTaskWideFromUtf8(std::string_view utf8) { return CoTaskWideFromWide(WideFromUtf8(utf8)); }
