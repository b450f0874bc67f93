// The data-type lists of the item dialogs, in the order they show them: every name of the
// VARTYPE name table the dialogs offer, "Native" first.
#pragma once

inline constexpr const char* kDataTypeNames[] = {
    "Native", "Boolean",    "Byte",  "Byte Array",  "Char",  "Char Array",  "Word",   "Word Array",
    "Short",  "Short Array", "DWord", "DWord Array", "Long",  "Long Array",  "Float",  "Float Array",
    "Double", "Double Array", "String"};
