// GUID text forms: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" both ways, and GUID literals
// checked at compile time: constexpr GUID id = "6C4A2B3A-1E0B-4F53-9C1D-2F6B8E0A1234"_guid;
#pragma once

#include "platform/com/types.h"

#include <string>
#include <string_view>

namespace com_detail {
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace com_detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without the braces.
constexpr bool ParseGuid(std::string_view text, GUID& out) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return false;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return false;
    // Positions of the 32 hex digits, skipping the dashes at 8, 13, 18 and 23.
    std::uint8_t bytes[16] = {};
    int digit = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return false;
            continue;
        }
        const int v = com_detail::HexDigit(text[i]);
        if (v < 0) return false;
        bytes[digit / 2] = static_cast<std::uint8_t>(bytes[digit / 2] * 16 + v);
        ++digit;
    }
    GUID g;
    g.Data1 =
        (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
    g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    out = g;
    return true;
}

// A malformed literal fails to compile.
consteval GUID operator""_guid(const char* text, std::size_t length) {
    GUID g;
    if (!ParseGuid(std::string_view(text, length), g)) throw "malformed GUID literal";
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidToString(const GUID& guid);

// Parses the braced form; CO_E_CLASSSTRING when malformed, E_INVALIDARG for null arguments.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);
// Writes the braced form with its terminating NUL; returns the characters written including
// the NUL (39), or 0 when the buffer is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity);
// The braced form in CoTaskMemAlloc'ed memory.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
