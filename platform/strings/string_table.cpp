#include "platform/strings/string_table.h"

#include "platform/strings/command_ids.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    unsigned id;
    std::string_view text;
};

// Sorted by id (checked by a test).
constexpr Entry kStrings[] = {
#define IDS(name, id, text) {id, text},
#define PROMPT(id, text) {id, text},
#include "platform/strings/strings.inc"
#undef IDS
#undef PROMPT
};

constexpr Entry kEnglish[] = {
#define EN(id, text) {id, text},
#include "platform/strings/strings_en.inc"
#undef EN
};

constexpr const Entry* Find(const Entry* first, const Entry* last, unsigned id) {
    for (; first != last; ++first)
        if (first->id == id) return first;
    return nullptr;
}

constexpr bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    return true;
}

// The next conversion of a format from `at` ("%s", "%08X", "%1"; "%%" is none), empty at
// the end.
constexpr std::string_view NextConversion(std::string_view format, std::size_t& at) {
    while (at < format.size()) {
        if (format[at] != '%') {
            ++at;
            continue;
        }
        if (at + 1 < format.size() && format[at + 1] == '%') {
            at += 2;
            continue;
        }
        const std::size_t start = at++;
        if (at < format.size() && format[at] >= '1' && format[at] <= '9') return format.substr(start, ++at - start);
        while (at < format.size() && !((format[at] >= 'a' && format[at] <= 'z' && format[at] != 'h' && format[at] != 'l') ||
                                       (format[at] >= 'A' && format[at] <= 'Z' && format[at] != 'L')))
            ++at;
        return format.substr(start, ++at - start);
    }
    return {};
}

constexpr bool SameConversions(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        const std::string_view x = NextConversion(a, i);
        const std::string_view y = NextConversion(b, j);
        if (x != y) return false;
        if (x.empty()) return true;
    }
}

// Every entry that is not English has an English form with the same conversions, and every
// English form belongs to an entry: a mismatch would hand LogEvent's checked arguments to a
// format that reads others.
constexpr bool EnglishFormsMatch() {
    for (const Entry& english : kEnglish) {
        const Entry* original = Find(std::begin(kStrings), std::end(kStrings), english.id);
        if (!original || !IsAscii(english.text) || !SameConversions(original->text, english.text)) return false;
    }
    for (const Entry& entry : kStrings)
        if (!IsAscii(entry.text) && !Find(std::begin(kEnglish), std::end(kEnglish), entry.id)) return false;
    return true;
}
static_assert(EnglishFormsMatch(), "strings_en.inc: a missing, extra or mismatched English form");

}  // namespace

std::string_view LoadString(unsigned id) {
    if (CurrentLanguage() == Language::kEnglish)
        if (const Entry* english = Find(std::begin(kEnglish), std::end(kEnglish), id)) return english->text;
    const auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                     [](const Entry& e, unsigned key) { return e.id < key; });
    return (it != std::end(kStrings) && it->id == id) ? it->text : std::string_view{};
}
