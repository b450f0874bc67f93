#include "platform/strings/string_table.h"

#include "platform/strings/command_ids.h"

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

}  // namespace

std::string_view LoadString(unsigned id) {
    const auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                     [](const Entry& e, unsigned key) { return e.id < key; });
    return (it != std::end(kStrings) && it->id == id) ? it->text : std::string_view{};
}
