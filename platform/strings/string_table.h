// The product's string table: every user-visible text by its numeric id, UTF-8.
#pragma once

#include <string_view>

// The text of string `id`, or an empty view when the table has no such id.
std::string_view LoadString(unsigned id);
