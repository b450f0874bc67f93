// The named texts of the string table, each id declared once (strings.inc), with the table's
// text, so that the formats of the event messages can be checked against their arguments
// when the program is built. A StringId converts to its number wherever an id is taken.
#pragma once

struct StringId {
    unsigned id;
    const char* text;  // what LoadString(id) gives
    constexpr operator unsigned() const { return id; }
};

#define IDS(name, number, text) inline constexpr StringId name{number, text};
#define PROMPT(number, text)
#include "platform/strings/strings.inc"
#undef IDS
#undef PROMPT
