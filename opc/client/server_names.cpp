// Group names of a server: the case-insensitive test and the unique-name generator.
#include "opc/client/group.h"
#include "opc/client/server.h"
#include "platform/strings/utf8.h"

#include <cstdint>
#include <limits>

namespace {

constexpr std::size_t kMaxGroupName = 32;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// At most `limit` bytes, never splitting a UTF-8 character.
void CutUtf8(std::string& text, std::size_t limit) { text.resize(Utf8Prefix(text, limit).size()); }

}  // namespace

bool CVServer::HasGroupNamed(const std::string& name) const {
    for (const CVGroup* group = groups_.First(); group; group = group->next)
        if (EqualIgnoringCase(group->Name(), name)) return true;
    return false;
}

bool CVServer::MakeUniqueGroupName(std::string& name) const {
    if (!HasGroupNamed(name)) return true;

    std::string base = name;
    CutUtf8(base, kMaxGroupName);
    // Trailing digits are a number to count on from; one beyond 32 bits starts over at 1.
    std::size_t digitsAt = base.size();
    while (digitsAt > 0 && base[digitsAt - 1] >= '0' && base[digitsAt - 1] <= '9') --digitsAt;
    std::uint64_t number = 1;
    if (digitsAt < base.size()) {
        std::uint64_t value = 0;
        for (std::size_t i = digitsAt; i < base.size() && value <= std::numeric_limits<std::uint32_t>::max(); ++i)
            value = value * 10 + static_cast<unsigned>(base[i] - '0');
        number = value < std::numeric_limits<std::uint32_t>::max() ? value + 1 : 1;
        base.resize(digitsAt);
    }

    for (; number <= std::numeric_limits<std::uint32_t>::max(); ++number) {
        const std::string digits = std::to_string(number);
        if (digits.size() > kMaxGroupName) return false;
        if (base.size() + digits.size() > kMaxGroupName) CutUtf8(base, kMaxGroupName - digits.size());
        std::string candidate = base + digits;
        if (!HasGroupNamed(candidate)) {
            name = std::move(candidate);
            return true;
        }
    }
    return false;
}
