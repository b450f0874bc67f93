// The texts that turn item state into words: the quality text table, the VARTYPE name table
// (both directions) and value formatting shared by every view, dialog and the CSV code.
#pragma once

#include "platform/com/types.h"

#include <string>
#include <string_view>

// Quality text for (quality AND 0xFC); "无值" for values not in the table.
const std::string& QualityText(WORD quality);
const std::string& NoValueText();      // "无值"
const std::string& UnknownText();      // "未知"
const std::string& NoTimestampText();  // "N/A"

// "Boolean", "Byte" ... "String", "Native", with " Array" for VT_ARRAY types.
std::string VarTypeName(VARTYPE type);
// Case-insensitive; VT_EMPTY for any other name.
VARTYPE VarTypeFromName(std::string_view name);

// The eight array element types that the 1.0 streams carry and the views show.
constexpr bool IsNumericArrayElement(VARTYPE element) {
    switch (element) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4: return true;
    default: return false;
    }
}

// Formats a value as the item list shows it. Returns false when the value is an array
// without data (the text is then "???").
bool FormatVariant(const VARIANT& value, std::string& text);

// A property value as the item properties dialog shows it: numbers and texts as above but a
// Boolean as -1 or 0, a date as its local time of day ("hh:mm:ss"), "???" for an array without
// data or a date that cannot be converted, "<Bad VARTYPE>" for any other type; at most 259
// characters.
std::string PropertyValueText(const VARIANT& value);
