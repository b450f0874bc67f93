// Name filters of BrowseOPCItemIDs.
#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "simserver/match_pattern.h"

namespace simserver {
namespace {

struct PatternCase {
    const char16_t* text;
    const char16_t* pattern;
    std::optional<bool> expected;
};

TEST(MatchPattern, FollowsTheWildcardRules) {
    const PatternCase cases[] = {
        {u"PUMP1", u"*", true},
        {u"", u"*", true},
        {u"", u"", true},
        {u"x", u"", false},
        {u"PUMP1", u"PUMP1", true},
        {u"PUMP1", u"pump1", false},  // case-sensitive
        {u"PUMP1", u"PUMP?", true},
        {u"PUMP", u"PUMP?", false},
        {u"PUMP12", u"PUMP#", false},
        {u"PUMP12", u"PUMP##", true},
        {u"PUMPX", u"PUMP#", false},
        {u"PUMP1_UNIT", u"*_UNIT", true},
        {u"PUMP1_UNITS", u"*_UNIT", false},
        {u"a_b_c", u"*_*_*", true},
        {u"abcabd", u"*abd", true},  // needs backtracking
        {u"aaa", u"a*a*a*a", false},
        {u"D100.07", u"D1[0-9][0-9].0[!8-9]", true},
        {u"D100.08", u"D1[0-9][0-9].0[!8-9]", false},
        {u"b", u"[abc]", true},
        {u"d", u"[abc]", false},
        {u"-", u"[-a]", true},
        {u"-", u"[a-]", true},
        {u"b", u"[a-]", false},
        {u"*", u"[*]", true},
        {u"x", u"[*]", false},
        {u"?", u"[?]", true},
        {u"#", u"[#]", true},
        {u"[", u"[[]", true},
        {u"a]", u"a]", true},
        {u"x", u"[", std::nullopt},
        {u"x", u"[abc", std::nullopt},
        {u"x", u"[z-a]", std::nullopt},
        {u"温度1", u"温度#", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchPattern(c.text, c.pattern), c.expected)
            << "'" << Utf8FromWide(c.text) << "' like '" << Utf8FromWide(c.pattern) << "'";
}

}  // namespace
}  // namespace simserver
