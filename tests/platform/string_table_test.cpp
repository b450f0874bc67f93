#include "platform/strings/string_table.h"

#include "platform/strings/command_ids.h"
#include "platform/strings/language.h"
#include "platform/strings/printf_check.h"
#include "platform/strings/utf8.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

struct Entry {
    unsigned id;
    std::string_view text;
};

// The same table the lookup uses, seen from outside so that its order can be checked.
constexpr Entry kTable[] = {
#define IDS(name, id, text) {id, text},
#define PROMPT(id, text) {id, text},
#include "platform/strings/strings.inc"
#undef IDS
#undef PROMPT
};

}  // namespace

TEST(StringTable, IdsAreStrictlyAscendingSoLookupFindsEveryEntry) {
    for (size_t i = 1; i < std::size(kTable); ++i)
        EXPECT_LT(kTable[i - 1].id, kTable[i].id) << "entry " << i << " id " << kTable[i].id;
    for (const Entry& e : kTable) EXPECT_EQ(LoadString(e.id), e.text) << e.id;
}

TEST(StringTable, KnownTexts) {
    const struct {
        unsigned id;
        std::string_view text;
    } cases[] = {
        {5002, "变量数: %d"},
        {10005, "事件"},
        {10024, "日期"},
        {10025, "时间"},
        {10022, "无值"},
        {10040, "ProgID:\t\t\t%1\r\n"},
        {15001, "增加组 '%s' 到 '%s'."},
        {16001, "从服务 '%s' 获得有效地CLSID失败. "},
        {16012, "Failed on item '%s'  for asynchronous 1.0 write transaction %08X (HR = %08X)."},
        {20002, "Orvane OPC"},
        {32805, "清空事件日志窗口"},
        {57345, "Ready"},
        {57600, "创建一个新文档\n新建"},
        {57665, "Quit the application\nExit"},
    };
    for (const auto& c : cases) EXPECT_EQ(LoadString(c.id), c.text) << c.id;
}

TEST(StringTable, UnknownIdsGiveEmptyText) {
    for (unsigned id : {0u, 100u, 10047u, 15004u, 32812u, 99999u}) EXPECT_TRUE(LoadString(id).empty()) << id;
}

TEST(StringTable, EveryLoggedMessageHasAFormat) {
    // Messages that the client core logs; a missing one would log an empty line.
    std::vector<unsigned> ids;
    for (unsigned id = 15000; id <= 15025; ++id)
        if (id != 15004) ids.push_back(id);
    for (unsigned id = 16000; id <= 16031; ++id) ids.push_back(id);
    for (unsigned id : ids) EXPECT_FALSE(LoadString(id).empty()) << id;
}

// The build-time check of event message arguments (LogEvent): a format accepts exactly the
// arguments its conversions read. These fail the build when they do not hold.
namespace {
using printf_check::Arg;
template <std::size_t N>
consteval bool Accepts(const char* format, const Arg (&args)[N]) {
    return printf_check::Matches(format, args, N - 1);
}
constexpr Arg kEnd = Arg::kOther;
}  // namespace
static_assert(Accepts("'%s' (HR = %08X)", {Arg::kString, Arg::kInt, kEnd}));
static_assert(Accepts("%d%% of %ld, %5.2f %-3s%c",
                      {Arg::kInt, Arg::kLong, Arg::kDouble, Arg::kString, Arg::kInt, kEnd}));
static_assert(Accepts("%*d", {Arg::kInt, Arg::kInt, kEnd}));
static_assert(Accepts("no conversions", {kEnd}));
static_assert(!Accepts("'%s'", {Arg::kInt, kEnd}));           // an int where a text is read
static_assert(!Accepts("%d '%s'", {Arg::kInt, kEnd}));        // too few arguments
static_assert(!Accepts("%d", {Arg::kInt, Arg::kInt, kEnd}));  // too many
static_assert(!Accepts("%d", {Arg::kLong, kEnd}));            // a 64-bit number for %d
static_assert(!Accepts("%s", {Arg::kOther, kEnd}));           // say, a std::string
static_assert(!Accepts("ends in %", {kEnd}));
static_assert(!Accepts("%n", {Arg::kPointer, kEnd}));  // unknown conversions refused
static_assert(printf_check::KindOf<unsigned>() == Arg::kInt && printf_check::KindOf<const char*>() == Arg::kString &&
              printf_check::KindOf<std::size_t>() == Arg::kLong && printf_check::KindOf<float>() == Arg::kDouble);

// Cuts of UTF-8 text never split a character.
static_assert(Utf8Prefix("abc", 5) == "abc" && Utf8Prefix("abc", 2) == "ab");
static_assert(Utf8Prefix("a\xC3\xA9", 2) == "a");                            // é is two bytes
static_assert(Utf8Prefix("\xE5\x8F\x98\xE9\x87\x8F", 5) == "\xE5\x8F\x98");  // 变量: three bytes each

TEST(StringTable, EnglishOnlyWhenChosen) {
    ::setenv("LANG", "en_US.UTF-8", 1);  // the locale never chooses
    EXPECT_EQ(CurrentLanguage(), Language::kChinese);
    EXPECT_EQ(LoadString(15000), "连接到服务 '%s'.");
    SetLanguage(Language::kEnglish);
    EXPECT_EQ(LoadString(15000), "Connected to server '%s'.");
    EXPECT_EQ(LoadString(10008), "Good");
    EXPECT_EQ(LoadString(15007), "Synchronous write succeeded for %d items on group '%s'.");  // English already
    EXPECT_STREQ(Tr("确定", "OK"), "OK");
    SetLanguage(Language::kChinese);
    EXPECT_EQ(LoadString(10008), "好");
    EXPECT_STREQ(Tr("确定", "OK"), "确定");
    EXPECT_EQ(LanguageFromName("en"), Language::kEnglish);
    EXPECT_EQ(LanguageFromName("fr"), std::nullopt);
}
