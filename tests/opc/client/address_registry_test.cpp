#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        registry().SetStartAddressSource([this] { return start; });
    }
    void TearDown() override {
        items.clear();  // unregisters
        registry().SetStartAddressSource(nullptr);
    }
    static CItemAddressRegistry& registry() { return CItemAddressRegistry::Instance(); }

    CVItem* Make(const std::string& id) {
        items.push_back(std::make_unique<CVItem>(nullptr));
        items.back()->itemId = id;
        return items.back().get();
    }
    void Delete(CVItem* item) {
        for (auto it = items.begin(); it != items.end(); ++it)
            if (it->get() == item) {
                items.erase(it);
                return;
            }
    }

    unsigned start = 1;
    std::vector<std::unique_ptr<CVItem>> items;
};

}  // namespace

TEST_F(Registry, ConsecutiveAddressesAndFirstGap) {
    CVItem* a = Make("A");
    CVItem* b = Make("B");
    CVItem* c = Make("C");
    EXPECT_EQ(registry().Register(a), 1);
    EXPECT_EQ(registry().Register(b), 2);
    EXPECT_EQ(registry().Register(c), 3);
    Delete(b);
    EXPECT_EQ(registry().Register(Make("D")), 2);
    EXPECT_EQ(registry().Register(Make("E")), 4);
    EXPECT_EQ(registry().FindByAddress(3), c);
}

TEST_F(Registry, StartAddressZeroAndLoadedBelowStart) {
    start = 0;
    EXPECT_EQ(registry().Register(Make("A")), 0);
    items.clear();

    for (int address = 1; address <= 3; ++address) registry().RegisterAt(Make("L" + std::to_string(address)), address);
    start = 100;
    EXPECT_EQ(registry().Register(Make("N")), 4);  // first gap after the lowest run, not 100
}

TEST_F(Registry, StartAboveEverythingTaken) {
    registry().RegisterAt(Make("A"), 500);
    start = 10;
    EXPECT_EQ(registry().Register(Make("B")), 10);
    EXPECT_EQ(registry().Register(Make("C")), 11);
}

TEST_F(Registry, SharedItemIdSharesOneAddress) {
    CVItem* first = Make("Dev.T1");
    CVItem* second = Make("Dev.T1");
    EXPECT_EQ(registry().Register(first), 1);
    EXPECT_EQ(registry().Register(second), 1);
    EXPECT_EQ(registry().FindByAddress(1), first);
    EXPECT_TRUE(registry().ContainsItemId("Dev.T1"));
    Delete(second);
    EXPECT_EQ(registry().AddressOf("Dev.T1"), -1);
    EXPECT_EQ(registry().FindByAddress(1), nullptr);
    EXPECT_FALSE(registry().ContainsItemId("Dev.T1"));
}

TEST_F(Registry, RegisterAtFallsBackToTheFirstGap) {
    CVItem* a = Make("A");
    registry().RegisterAt(a, 1);
    CVItem* b = Make("B");
    registry().RegisterAt(b, 1);  // taken
    EXPECT_EQ(registry().AddressOf("B"), 2);
    CVItem* c = Make("C");
    registry().RegisterAt(c, -4);  // negative
    EXPECT_EQ(registry().AddressOf("C"), 3);
    EXPECT_EQ(registry().FindByAddress(1), a);
}

TEST_F(Registry, RenumberKeepsTheOrderOfTheOldAddresses) {
    CVItem* x = Make("X");
    CVItem* y = Make("Y");
    CVItem* z = Make("Z");
    registry().RegisterAt(z, 7);
    registry().RegisterAt(x, 1);
    registry().RegisterAt(y, 2);
    start = 50;
    registry().Renumber();
    EXPECT_EQ(registry().AddressOf("X"), 50);
    EXPECT_EQ(registry().AddressOf("Y"), 51);
    EXPECT_EQ(registry().AddressOf("Z"), 52);
    EXPECT_EQ(registry().FindByAddress(52), z);
    EXPECT_EQ(registry().FindByAddress(1), nullptr);
}

TEST_F(Registry, ItemRegisteredUnderTwoIdsGetsOneAddressOnRenumber) {
    CVItem* item = Make("Old");
    registry().Register(item);  // 1
    item->itemId = "New";       // the properties dialog registers the new ItemID too
    registry().Register(item);  // 2
    registry().Renumber();
    EXPECT_EQ(registry().AddressOf("New"), 1);
    EXPECT_EQ(registry().FindByAddress(2), nullptr);
}

TEST_F(Registry, TopOfTheRangeNeverWraps) {
    registry().RegisterAt(Make("Top"), 0x7FFFFFFF);
    registry().RegisterAt(Make("Low"), 0);
    // Runs: [0] and [MAX]; the next free address after the lowest run is 1.
    EXPECT_EQ(registry().Register(Make("N")), 1);
    items.clear();
    registry().RegisterAt(Make("Top"), 0x7FFFFFFF);
    start = 0x7FFFFFFF;
    EXPECT_GE(registry().Register(Make("N")), 0);
}

TEST_F(Registry, RangeWalkSeesEveryChange) {
    const auto walk = [](int first, int last) {
        std::vector<int> seen;
        for (const auto& [address, item] : registry().InRange(first, last)) seen.push_back(address);
        return seen;
    };
    CVItem* a = Make("A");
    registry().RegisterAt(a, 3);
    registry().RegisterAt(Make("B"), 5);
    EXPECT_EQ(walk(1, 10), (std::vector<int>{3, 5}));
    registry().RegisterAt(Make("C"), 4);
    EXPECT_EQ(walk(4, 10), (std::vector<int>{4, 5}));
    Delete(a);
    EXPECT_EQ(walk(0, 4), (std::vector<int>{4}));
    start = 20;
    registry().Renumber();
    EXPECT_EQ(walk(0, 100), (std::vector<int>{20, 21}));
    EXPECT_EQ(walk(21, 21), (std::vector<int>{21}));
    EXPECT_EQ(walk(21, 20), (std::vector<int>{}));
    EXPECT_EQ(walk(21, INT_MAX), (std::vector<int>{21}));
}

TEST_F(Registry, NoAddressNamesAnItemOnceItIsGone) {
    struct Case {
        const char* name;
        bool deleteFirstLoadedFirst;
    };
    for (const Case c : {Case{"first loaded goes first", true}, Case{"second loaded goes first", false}}) {
        SCOPED_TRACE(c.name);
        // A project that holds one ItemID at two stored addresses.
        CVItem* first = Make("Dev.T1");
        CVItem* second = Make("Dev.T1");
        registry().RegisterAt(first, 5);
        registry().RegisterAt(second, 7);
        CVItem* keep = Make("Other");
        registry().RegisterAt(keep, 6);
        Delete(c.deleteFirstLoadedFirst ? first : second);
        for (int address : {5, 7}) {
            CVItem* named = registry().FindByAddress(address);
            EXPECT_TRUE(named == nullptr || named == (c.deleteFirstLoadedFirst ? second : first)) << address;
        }
        Delete(c.deleteFirstLoadedFirst ? second : first);
        EXPECT_EQ(registry().InRange(0, 100).size(), 1u);
        EXPECT_EQ(registry().FindByAddress(6), keep);
        items.clear();
        EXPECT_TRUE(registry().InRange(INT_MIN, INT_MAX).empty());
    }

    // An item whose ItemID changed stands at its old address too.
    CVItem* renamed = Make("Old");
    registry().Register(renamed);  // 1
    renamed->itemId = "New";
    registry().Register(renamed);  // 2
    Delete(renamed);
    EXPECT_EQ(registry().FindByAddress(1), nullptr);
    EXPECT_EQ(registry().FindByAddress(2), nullptr);
}
