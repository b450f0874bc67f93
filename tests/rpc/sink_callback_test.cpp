// A subscription's newer data change merged into an older one still waiting for a client: the
// newer values win, the older items stay, and the master quality and error describe the items
// that are then sent.
#include "rpc/sink_callback.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr WORD kGood = 0xC0;
constexpr WORD kBad = 0x00;

rpc::Callback DataChange(std::vector<std::pair<OPCHANDLE, WORD>> items, HRESULT error = S_OK) {
    rpc::Callback callback;
    callback.kind = rpc::Callback::Kind::kDataChange;
    bool allGood = true;
    for (const auto& [handle, quality] : items) {
        rpc::ItemCallback item;
        item.handle = handle;
        item.quality = quality;
        item.error = error;
        callback.items.push_back(std::move(item));
        allGood = allGood && quality == kGood;
    }
    callback.masterQuality = allGood ? S_OK : S_FALSE;
    callback.masterError = error == S_OK ? S_OK : S_FALSE;
    return callback;
}

TEST(MergeDataChanges, TheMasterResultsDescribeTheItemsSent) {
    struct Case {
        const char* name;
        std::vector<std::pair<OPCHANDLE, WORD>> older, newer;
        HRESULT olderError;
        HRESULT quality, error;
        std::size_t items;
    };
    const Case cases[] = {
        {"a bad item stays beside a newer good one", {{1, kBad}, {2, kGood}}, {{2, kGood}}, S_OK, S_FALSE, S_OK, 2},
        {"the bad item's newer value is good", {{1, kBad}, {2, kGood}}, {{1, kGood}}, S_OK, S_OK, S_OK, 2},
        {"a new item that is bad", {{1, kGood}}, {{3, kBad}}, S_OK, S_FALSE, S_OK, 2},
        {"an older item's error stays", {{1, kGood}, {2, kGood}}, {{2, kGood}}, E_FAIL, S_OK, S_FALSE, 2},
        {"the same items: the newer whole", {{1, kBad}, {2, kGood}}, {{1, kGood}, {2, kGood}}, S_OK, S_OK, S_OK, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rpc::Callback older = DataChange(c.older, c.olderError);
        rpc::MergeDataChanges(older, DataChange(c.newer));
        EXPECT_EQ(older.items.size(), c.items);
        EXPECT_EQ(older.masterQuality, c.quality);
        EXPECT_EQ(older.masterError, c.error);
    }
}

}  // namespace
