// Text forms of VARIANT values used by VariantChangeType: number and date parsing and
// formatting, independent of the process locale.
#pragma once

#include "platform/com/types.h"

#include <optional>
#include <string>
#include <string_view>

namespace variant_text {

__extension__ using Int128 = __int128;

// A number read from text: an exact integer when it has no fraction or exponent.
struct ParsedNumber {
    bool isInteger = false;
    Int128 integer = 0;
    double real = 0;
};

// Blanks around the number, sign, digits, decimal point, exponent; &H / &O prefixes for
// hexadecimal / octal. Nothing else.
std::optional<ParsedNumber> ParseNumber(std::u16string_view text);
// "True" / "False" without regard to case, blanks around allowed.
std::optional<bool> ParseBoolWord(std::u16string_view text);

// `digits` significant digits, exponent as "E+20", no negative zero.
std::string FormatReal(double value, int digits);
// Currency (value * 10000) as a plain decimal without trailing zeros.
std::string FormatCurrency(LONGLONG scaled);

// "YYYY-MM-DD", "HH:MM:SS" or both, as described in variant.h. Empty when the value is not
// a valid date.
std::string FormatDate(DATE date);
// The forms FormatDate writes (seconds optional, 'T' accepted between date and time).
std::optional<DATE> ParseDate(std::u16string_view text);

// DATE range of OLE Automation: years 100 to 9999.
inline constexpr double kMinDate = -657434.0;
inline constexpr double kMaxDateExclusive = 2958466.0;

}  // namespace variant_text
