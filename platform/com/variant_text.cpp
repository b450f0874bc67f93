#include "platform/com/variant_text.h"

#include "platform/com/civil_date.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace variant_text {
namespace {

using civil_date::CivilFromDays;
using civil_date::DaysFromCivil;
using civil_date::DaysInMonth;

// Integers beyond every target range stop growing here, which keeps the overflow visible.
const Int128 kIntegerCap = Int128(1) << 100;

// Days between 1899-12-30 (DATE 0) and 1970-01-01.
constexpr long long kDateToUnixDays = 25569;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ToAscii(std::u16string_view text, std::string& out) {
    out.clear();
    for (char16_t c : text) {
        if (c > 0x7F) return false;
        out += static_cast<char>(c);
    }
    return true;
}

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// All of `digits` in `base`, at least one digit.
std::optional<Int128> ParseDigits(std::string_view digits, int base) {
    if (digits.empty()) return std::nullopt;
    Int128 value = 0;
    for (char c : digits) {
        const int v = DigitValue(c, base);
        if (v < 0) return std::nullopt;
        if (value < kIntegerCap) value = value * base + v;
    }
    return value;
}

// Reads 1..maxDigits decimal digits at `pos`.
bool ReadField(std::string_view text, std::size_t& pos, int maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < static_cast<std::size_t>(maxDigits) && text[pos] >= '0' &&
           text[pos] <= '9')
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

bool ReadTime(std::string_view text, std::size_t& pos, int& seconds) {
    int h = 0, m = 0, s = 0;
    if (!ReadField(text, pos, 2, h) || !Expect(text, pos, ':') || !ReadField(text, pos, 2, m)) return false;
    if (pos < text.size() && text[pos] == ':' && !(++pos, ReadField(text, pos, 2, s))) return false;
    if (h > 23 || m > 59 || s > 59) return false;
    seconds = h * 3600 + m * 60 + s;
    return true;
}

bool ReadDate(std::string_view text, std::size_t& pos, long long& serial) {
    int y = 0, m = 0, d = 0;
    if (!ReadField(text, pos, 4, y) || !Expect(text, pos, '-') || !ReadField(text, pos, 2, m) ||
        !Expect(text, pos, '-') || !ReadField(text, pos, 2, d))
        return false;
    if (y < 100 || m < 1 || m > 12 || d < 1 || static_cast<unsigned>(d) > DaysInMonth(y, m)) return false;
    serial = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kDateToUnixDays;
    return true;
}

}  // namespace

std::optional<ParsedNumber> ParseNumber(std::u16string_view text) {
    std::string s;
    if (!ToAscii(Trim(text), s) || s.empty()) return std::nullopt;

    ParsedNumber out;
    if (s[0] == '&' && s.size() > 1) {
        const char kind = s[1];
        const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
        if (base == 0) return std::nullopt;
        const auto value = ParseDigits(std::string_view(s).substr(2), base);
        if (!value) return std::nullopt;
        out.isInteger = true;
        out.integer = *value;
        return out;
    }

    std::size_t i = 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
    const std::size_t intStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    const std::size_t intDigits = i - intStart;
    std::size_t fracDigits = 0;
    bool hasPoint = false;
    if (i < s.size() && s[i] == '.') {
        hasPoint = true;
        ++i;
        const std::size_t fracStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        fracDigits = i - fracStart;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    bool hasExponent = false;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        hasExponent = true;
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
        const std::size_t expStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == expStart) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;

    if (!hasPoint && !hasExponent) {
        const auto value = ParseDigits(std::string_view(s).substr(intStart, intDigits), 10);
        out.isInteger = true;
        out.integer = negative ? -*value : *value;
        return out;
    }
    const std::string_view unsignedText = std::string_view(s).substr(intStart);
    double value = 0;
    const auto [end, ec] = std::from_chars(unsignedText.data(), unsignedText.data() + unsignedText.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : HUGE_VAL;
    else if (ec != std::errc() || end != unsignedText.data() + unsignedText.size())
        return std::nullopt;
    out.real = negative ? -value : value;
    return out;
}

std::optional<bool> ParseBoolWord(std::u16string_view text) {
    std::string s;
    if (!ToAscii(Trim(text), s)) return std::nullopt;
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (s == "true") return true;
    if (s == "false") return false;
    return std::nullopt;
}

std::string FormatReal(double value, int digits) {
    if (value == 0) return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    std::string out(buffer, result.ptr);
    for (char& c : out)
        if (c == 'e') c = 'E';
    return out;
}

std::string FormatCurrency(LONGLONG scaled) {
    const bool negative = scaled < 0;
    // Magnitude as unsigned, which also holds the most negative value.
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(scaled) : static_cast<unsigned long long>(scaled);
    std::string out = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04u", fraction);
        std::string frac(digits);
        while (frac.back() == '0') frac.pop_back();
        out += '.' + frac;
    }
    return out;
}

std::string FormatDate(DATE date) {
    if (!std::isfinite(date) || date < kMinDate || date >= kMaxDateExclusive) return {};
    const double whole = std::trunc(date);
    long long days = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    char buffer[40];
    std::string out;
    if (days != 0) {
        long long y;
        unsigned m, d;
        CivilFromDays(days - kDateToUnixDays, y, m, d);
        std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", y, m, d);
        out = buffer;
    }
    if (seconds != 0 || days == 0) {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
        if (!out.empty()) out += ' ';
        out += buffer;
    }
    return out;
}

std::optional<DATE> ParseDate(std::u16string_view text) {
    std::string s;
    if (!ToAscii(Trim(text), s) || s.empty()) return std::nullopt;
    std::size_t pos = 0;
    long long serial = 0;
    int seconds = 0;
    // A time alone has its colon within the first three characters.
    const bool timeOnly = s.find(':') != std::string::npos && s.find(':') <= 2;
    if (timeOnly) {
        if (!ReadTime(s, pos, seconds)) return std::nullopt;
    } else {
        if (!ReadDate(s, pos, serial)) return std::nullopt;
        if (pos < s.size()) {
            if (s[pos] != ' ' && s[pos] != 'T') return std::nullopt;
            ++pos;
            if (!ReadTime(s, pos, seconds)) return std::nullopt;
        }
    }
    if (pos != s.size()) return std::nullopt;
    const double time = seconds / 86400.0;
    const auto days = static_cast<double>(serial);
    return serial >= 0 ? days + time : days - time;
}

}  // namespace variant_text
