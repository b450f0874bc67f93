// Name filters of BrowseOPCItemIDs, with the wildcard rules of the OPC DA standard's
// MatchPattern (those of Visual Basic's Like operator):
//   ?          any single character
//   *          zero or more characters
//   #          any single digit 0-9
//   [list]     any single character in the list; ranges such as a-z are allowed
//   [!list]    any single character not in the list
// A '-' first or last in a list stands for itself; "[*]" matches a literal '*'.
#pragma once

#include <optional>
#include <string_view>

namespace simserver {

// Whether `text` matches `pattern` (case-sensitive); nullopt when the pattern is malformed
// (an unclosed '[' or a range whose end is below its start).
std::optional<bool> MatchPattern(std::u16string_view text, std::u16string_view pattern);

}  // namespace simserver
