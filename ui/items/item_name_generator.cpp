#include "ui/items/item_name_generator.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal digits plus one, as wide as they were unless the carry adds a digit.
std::string Increment(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return '1' + digits;
}

std::string WithoutLeadingZeros(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// Where the run of digits that ends just before `end` starts.
std::size_t DigitRunStart(const std::string& text, std::size_t end) {
    std::size_t start = end;
    while (start > 0 && IsDigit(text[start - 1])) --start;
    return start;
}

// Small numbers only matter here (a bit number); longer runs count as large.
unsigned long RunValue(const std::string& digits) {
    const std::string plain = WithoutLeadingZeros(digits);
    return plain.size() > 6 ? 1000000 : std::stoul(plain);
}

std::string NextOf(const std::string& id, bool isBitOfWord) {
    if (!IsDigit(id.back())) return id + "0";
    const std::size_t runStart = DigitRunStart(id, id.size());
    const std::string run = id.substr(runStart);
    const bool isBit = isBitOfWord && runStart > 0 && id[runStart - 1] == '.';
    if (!isBit) {
        // "%0*d" for a zero-padded run, "%d" otherwise: the same digits plus one.
        return id.substr(0, runStart) + Increment(run);
    }
    const unsigned long bit = RunValue(run) + 1;
    if (bit < 16) return id.substr(0, runStart) + (bit < 10 ? "0" : "") + std::to_string(bit);
    // Bit 15 carries into the word number, written plainly, and the bit starts again at 00.
    const std::size_t dot = runStart - 1;
    const std::size_t wordStart = DigitRunStart(id, dot);
    const std::string word = id.substr(wordStart, dot - wordStart);
    return id.substr(0, wordStart) + WithoutLeadingZeros(Increment(word.empty() ? "0" : word)) + ".00";
}

}  // namespace

std::size_t ItemIdLength(const std::string& itemId) {
    std::size_t units = 0;
    for (const char c : itemId) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;  // a character starts here
        if ((byte & 0xF8) == 0xF0) ++units;  // beyond the BMP: two UTF-16 units
    }
    return units;
}

std::optional<std::string> NextItemId(const std::string& itemId, bool isBitOfWord) {
    if (itemId.empty()) return itemId;
    std::string next = NextOf(itemId, isBitOfWord);
    if (ItemIdLength(next) > kMaxItemIdLength) return std::nullopt;
    return next;
}
