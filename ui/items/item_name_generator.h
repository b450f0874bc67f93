// The next item ID of a duplication: the number that ends the ID counts up, keeping a
// zero-padded width until it needs more digits (Tag007 -> Tag008, Tag099 -> Tag100); an ID
// without a number gains a 0 (Tag -> Tag0). For a bit of a word item (word.bit), the bit counts
// 00 to 15 and then carries into the word number (D100.15 -> D101.00).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The most characters an item ID may have: what the add dialog's item ID field takes.
inline constexpr std::size_t kMaxItemIdLength = 351;

// The ID after `itemId`; `itemId` itself when it is empty; nothing when the result would be
// longer than kMaxItemIdLength characters.
std::optional<std::string> NextItemId(const std::string& itemId, bool isBitOfWord);

// Characters, as the item ID field counts them (UTF-16 units).
std::size_t ItemIdLength(const std::string& itemId);
