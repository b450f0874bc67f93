// BSTR layout and the UTF-8 <-> UTF-16 conversions at the COM boundary.
#include "platform/com/bstr.h"
#include "platform/com/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::uint32_t Prefix(BSTR text) {
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    return prefix;
}

TEST(BstrTest, PrefixHoldsTheByteLength) {
    BSTR text = SysAllocString(u"abc");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(Prefix(text), 6u);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(text[3], 0) << "terminated";
    SysFreeString(text);
}

TEST(BstrTest, LengthComesFromThePrefixNotTheTerminator) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(Utf8FromBstr(text), std::string("a\0b", 3));
    EXPECT_EQ(Utf8FromWide(text), "a") << "as a C string it stops at the NUL";
    SysFreeString(text);

    BSTR zeroed = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 4u);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(zeroed[i], 0);
    SysFreeString(zeroed);

    BSTR odd = SysAllocStringByteLen("xyz", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
}

TEST(BstrTest, NullIsTheEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(Utf8FromBstr(nullptr), "");
    EXPECT_EQ(Utf8FromWide(static_cast<const char16_t*>(nullptr)), "");
    SysFreeString(nullptr);
    Bstr owner;
    EXPECT_EQ(owner.utf8(), "");
    EXPECT_TRUE(owner.view().empty());
}

TEST(BstrTest, ImpossibleLengthsFailCleanly) {
    EXPECT_EQ(SysAllocStringLen(nullptr, std::numeric_limits<UINT>::max()), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, std::numeric_limits<UINT>::max() / 2), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, std::numeric_limits<UINT>::max() - 2), nullptr);
}

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string wide;
    std::string back;  // UTF-8 after the round trip
};

TEST(BstrTest, Utf8ConversionsFollowTheTable) {
    const std::vector<Utf8Case> cases = {
        {"ascii", "Tag.1", u"Tag.1", "Tag.1"},
        {"chinese", "温度", u"温度", "温度"},
        {"outside the BMP", "\xF0\x9F\x98\x80", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"invalid byte",
         "a\xFF"
         "b",
         u"a\xFFFD"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"truncated sequence", "a\xE6\xB8", u"a\xFFFD\xFFFD", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong slash", "\xC0\xAF", u"\xFFFD\xFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"empty", "", u"", ""},
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WideFromUtf8(c.utf8), c.wide);
        EXPECT_EQ(Utf8FromWide(std::u16string_view(c.wide)), c.back);
        Bstr b(c.utf8);
        EXPECT_EQ(b.view(), c.wide);
    }
}

TEST(BstrTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone = {u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(Utf8FromWide(std::u16string_view(lone)),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(BstrTest, TaskMemoryStringIsTerminated) {
    CoTaskMemPtr<WCHAR> text(CoTaskWideFromUtf8("Pump1"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text.get()), u"Pump1");
    CoTaskMemPtr<WCHAR> empty(CoTaskWideFromUtf8(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty.get()[0], 0);
}

TEST(BstrTest, OwnerCopiesDeeply) {
    Bstr a("text");
    Bstr b = a;
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(b.utf8(), "text");
    BSTR raw = b.release();
    EXPECT_EQ(b.get(), nullptr);
    Bstr c = Bstr::Adopt(raw);
    EXPECT_EQ(c.length(), 4u);
}

}  // namespace
