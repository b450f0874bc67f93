// The item list's order: the compare rule of each column, the tie-break by ItemID and the
// descending order that negates both.
#include "opc/client/item.h"
#include "ui/items/item_cells.h"
#include "ui/items/item_sort.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Row {
    const char* itemId;
    int updates;
};

// Items with these ItemIDs, each given `updates` values (the update count).
std::vector<std::unique_ptr<CVItem>> MakeItems(const std::vector<Row>& rows) {
    std::vector<std::unique_ptr<CVItem>> items;
    for (const Row& row : rows) {
        auto item = std::make_unique<CVItem>(nullptr);
        item->itemId = row.itemId;
        VARIANT value;
        value.vt = VT_I4;
        value.lVal = 7;
        for (int i = 0; i < row.updates; ++i) item->SetValue(value, 0xC0);
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::string> SortedIds(const std::vector<std::unique_ptr<CVItem>>& items, ItemSortOrder order) {
    std::vector<CVItem*> rows;
    for (const auto& item : items) rows.push_back(item.get());
    SortItems(rows, order);
    std::vector<std::string> ids;
    for (const CVItem* item : rows) ids.push_back(item->itemId);
    return ids;
}

}  // namespace

TEST(ItemSort, EachColumnFollowsItsRuleWithTheItemIdBreakingTies) {
    const auto items = MakeItems({{"Pump.C", 2}, {"Pump.A", 5}, {"Pump.D", 2}, {"Pump.B", 9}});
    using Ids = std::vector<std::string>;
    struct Case {
        const char* name;
        ItemSortOrder order;
        Ids expected;
    };
    const Case cases[] = {
        {"ItemID ascending", {kColumnItemId, false}, Ids{"Pump.A", "Pump.B", "Pump.C", "Pump.D"}},
        {"ItemID descending", {kColumnItemId, true}, Ids{"Pump.D", "Pump.C", "Pump.B", "Pump.A"}},
        // Ascending puts the highest count first; equal counts go by ItemID.
        {"update count ascending", {kColumnUpdateCount, false}, Ids{"Pump.B", "Pump.A", "Pump.C", "Pump.D"}},
        {"update count descending", {kColumnUpdateCount, true}, Ids{"Pump.D", "Pump.C", "Pump.A", "Pump.B"}},
        // Every pair of addresses compares equal: the ItemID alone decides.
        {"address ascending", {kColumnAddress, false}, Ids{"Pump.A", "Pump.B", "Pump.C", "Pump.D"}},
        {"address descending", {kColumnAddress, true}, Ids{"Pump.D", "Pump.C", "Pump.B", "Pump.A"}},
        // Same type, value and quality for all: the tie-break orders them.
        {"value ascending", {kColumnValue, false}, Ids{"Pump.A", "Pump.B", "Pump.C", "Pump.D"}},
        {"quality descending", {kColumnQuality, true}, Ids{"Pump.D", "Pump.C", "Pump.B", "Pump.A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SortedIds(items, c.order), c.expected);
    }
}

TEST(ItemSort, TextColumnsCompareTheTextsAsShown) {
    auto items = MakeItems({{"B", 1}, {"A", 1}, {"C", 1}});
    const long values[] = {20, 3, 100};  // as text: "20", "3", "100"
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i]->added = TRUE;
        VARIANT value;
        value.vt = VT_I4;
        value.lVal = values[i];
        items[i]->SetValue(value, 0xC0);
    }
    // Textual, not numeric: "100" < "20" < "3".
    EXPECT_EQ(SortedIds(items, {kColumnValue, false}), (std::vector<std::string>{"C", "B", "A"}));
}
