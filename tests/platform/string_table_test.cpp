#include "platform/strings/string_table.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

struct Entry {
    unsigned id;
    std::string_view text;
};

// The same table the lookup uses, seen from outside so that its order can be checked.
constexpr Entry kTable[] = {
#include "platform/strings/strings.inc"
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
    for (unsigned id : {0u, 100u, 10047u, 15004u, 32812u, 99999u})
        EXPECT_TRUE(LoadString(id).empty()) << id;
}

TEST(StringTable, EveryLoggedMessageHasAFormat) {
    // Messages that the client core logs; a missing one would log an empty line.
    std::vector<unsigned> ids;
    for (unsigned id = 15000; id <= 15025; ++id)
        if (id != 15004) ids.push_back(id);
    for (unsigned id = 16000; id <= 16031; ++id) ids.push_back(id);
    for (unsigned id : ids) EXPECT_FALSE(LoadString(id).empty()) << id;
}
