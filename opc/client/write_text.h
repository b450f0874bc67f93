// The values that item writes send, made from the operator's texts: numbers convert as the
// C library's atol and atof convert them (leading blanks, stopping at the first character
// that does not fit), always with the "C" decimal point; arrays are parsed from the text
// that the item list shows for them ("[ 1, 2, 3 ] [ 4, 5, 6 ]").
#pragma once

#include "platform/com/types.h"

#include <string_view>

// Converts text to a scalar of `type`: VT_I1, VT_UI1, VT_I2, VT_UI2 (low 8 or 16 bits of
// atol), VT_I4, VT_UI4, VT_R4, VT_R8, VT_BOOL (true when the low 8 bits of atol are not
// zero, so "256" is false) and VT_BSTR. False for any other type.
[[nodiscard]] bool ScalarFromText(std::string_view text, VARTYPE type, VARIANT& out);

// Parses array text over a copy of `current`, which must be an array with data of one or two
// dimensions. Elements that the text does not reach keep their values; nothing is written
// past the last element. At most kArrayTextLimit characters of the text are used.
[[nodiscard]] bool ArrayFromText(std::string_view text, const VARIANT& current, VARIANT& out);
inline constexpr std::size_t kArrayTextLimit = 258;
inline constexpr std::size_t kArrayTokenLimit = 259;

// The value that writing `text` to an item sends: of the type of the item's current value,
// or of its data type while the value is empty. False when the text cannot be mapped; `out`
// then holds nothing.
[[nodiscard]] bool WriteValueFromText(std::string_view text, const VARIANT& current, VARTYPE dataType, VARIANT& out);
