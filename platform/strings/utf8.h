// Cutting UTF-8 text to a byte limit without splitting a character.
#pragma once

#include <cstddef>
#include <string_view>

// The longest start of `text` of at most `limit` bytes that ends between two characters.
constexpr std::string_view Utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
