#include "opc/client/item.h"
#include "opc/client/client_handles.h"
#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "platform/shell/shell.h"
#include "tests/support/event_recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

VARIANT I4(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

}  // namespace

TEST(Item, NewItemShowsNoValue) {
    CVItem item(nullptr);
    std::string value, timestamp;
    item.FormatValue(value);
    item.FormatTimestamp(timestamp);
    EXPECT_EQ(value, "未知");
    EXPECT_EQ(item.FormatQuality(), "无值");
    EXPECT_EQ(timestamp, "N/A");
    EXPECT_EQ(item.GetUpdateCount(), 0u);
    EXPECT_EQ(item.GetQuality(), 0x1C);
    EXPECT_FALSE(item.IsGood());
}

TEST(Item, UpdatesCountAndTimestampPresence) {
    CVItem item(nullptr);
    item.added = TRUE;
    item.SetValueWithTimestamp(I4(42), 0xC0, FileTimeNow());
    std::string value, timestamp;
    item.FormatValue(value);
    item.FormatTimestamp(timestamp);
    EXPECT_EQ(value, "42");
    EXPECT_EQ(item.FormatQuality(), "好");
    EXPECT_EQ(timestamp.size(), 12u);  // hh:mm:ss:mmm
    EXPECT_TRUE(item.IsGood());

    item.SetValue(I4(7), 0x40);
    item.FormatTimestamp(timestamp);
    EXPECT_EQ(timestamp, "N/A");
    EXPECT_EQ(item.GetUpdateCount(), 2u);
    EXPECT_FALSE(item.IsGood());

    item.Reset(true);
    item.FormatValue(value);
    EXPECT_EQ(value, "未知");
    EXPECT_EQ(item.GetUpdateCount(), 0u);
    EXPECT_EQ(item.GetQuality(), 0x1C);
}

TEST(Item, ValueIsADeepCopy) {
    CVItem item(nullptr);
    item.added = TRUE;
    VARIANT array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    item.SetValue(array, 0xC0);
    VariantClear(&array);  // the item keeps its own copy
    std::string value;
    item.FormatValue(value);
    EXPECT_EQ(value, "[ 0, 0 ]");
}

TEST(Item, NullArrayIsReportedOnEveryFormat) {
    EventRecorder recorder;
    CVItem item(nullptr);
    item.itemId = "Dev.Array";
    item.added = TRUE;
    VARIANT bad;
    bad.vt = VT_ARRAY | VT_R4;
    bad.parray = nullptr;
    item.SetValue(bad, 0xC0);
    std::string value;
    item.FormatValue(value);
    item.FormatValue(value);
    EXPECT_EQ(value, "???");
    const std::vector<std::string> events = recorder.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "Invalid array data for item 'Dev.Array'.");
}

TEST(Item, WireTypeFromDataType) {
    const struct {
        VARTYPE type;
        int code, size;
    } cases[] = {
        {VT_BOOL, 1, 1},     {VT_I1, 2, 1},
        {VT_UI1, 3, 1},      {VT_I2, 4, 2},
        {VT_UI2, 5, 2},      {VT_I4, 6, 4},
        {VT_UI4, 7, 4},      {VT_R4, 8, 4},
        {VT_R8, 9, 8},       {VT_I8, 9, 8},
        {VT_UI8, 9, 8},      {VT_BSTR, 255, 255},
        {VT_DATE, 255, 255}, {VT_ARRAY | VT_R4, 255, 255},
    };
    for (const auto& c : cases) {
        CVItem item(nullptr);
        item.SetDataType(c.type);
        item.UpdateWireType();
        EXPECT_EQ(item.wireTypeCode, c.code) << c.type;
        EXPECT_EQ(item.valueSize, c.size) << c.type;
    }
}

// The snapshot is what a forwarding reply copies: it must follow the wire type, the value and
// the quality, and mark what cannot be copied with size 255.
TEST(Item, WireSnapshotHoldsTheRecordAsSent) {
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"7");
    const struct {
        const char* name;
        VARTYPE dataType;
        bool wireTypeSet, added;
        VARIANT value;
        WORD quality;
        int code, size;
        bool good;
        std::uint64_t bits;
    } cases[] = {
        {"number", VT_I4, true, true, I4(-5), 0xC0, 6, 4, true, std::uint64_t(std::int64_t{-5}) & 0xFFFFFFFF},
        {"bad quality", VT_I4, true, true, I4(5), 0x40, 6, 4, false, 5},
        {"not added", VT_I4, true, false, I4(5), 0xC0, 6, 4, false, 5},
        {"no wire type yet", VT_I4, false, true, I4(5), 0xC0, 127, 255, true, 5},
        {"boolean as 1", VT_BOOL, true, true, on, 0xC0, 1, 1, true, 1},
        {"string never copied", VT_I4, true, true, text, 0xC0, 6, 255, true, 0},
    };
    for (const auto& c : cases) {
        CVItem item(nullptr);
        item.SetDataType(c.dataType);
        item.added = c.added ? TRUE : FALSE;
        if (c.wireTypeSet) item.UpdateWireType();
        item.SetValue(c.value, c.quality);
        const CVItem::WireSnapshot s = item.ReadWireSnapshot();
        EXPECT_EQ(s.type, c.value.vt) << c.name;
        EXPECT_EQ(s.code, c.code) << c.name;
        EXPECT_EQ(s.size, c.size) << c.name;
        EXPECT_EQ(s.good, c.good) << c.name;
        if (c.size != 255) {
            EXPECT_EQ(s.bits & 0xFFFFFFFF, c.bits) << c.name;
        }
    }
    // Setting the wire type after the value arrived makes the record copyable at once.
    CVItem late(nullptr);
    late.SetDataType(VT_I4);
    late.SetValue(I4(9), 0xC0);
    EXPECT_EQ(late.ReadWireSnapshot().size, 255);
    late.UpdateWireType();
    EXPECT_EQ(late.ReadWireSnapshot().size, 4);
    SysFreeString(text.bstrVal);
}

TEST(ItemHandles, StaleAndUnknownHandlesFindNothing) {
    HandleTable<int> table;
    int a = 1, b = 2;
    const auto ha = table.Add(&a);
    {
        auto lock = table.ReadLock();
        EXPECT_EQ(table.Find(ha), &a);
        EXPECT_EQ(table.Find(0), nullptr);
        EXPECT_EQ(table.Find(0xFFFFFFFF), nullptr);
    }
    table.Remove(ha);
    const auto hb = table.Add(&b);  // reuses the slot
    EXPECT_NE(ha, hb);
    auto lock = table.ReadLock();
    EXPECT_EQ(table.Find(ha), nullptr);
    EXPECT_EQ(table.Find(hb), &b);
}

// Deliveries from server threads while the GUI thread formats values and items go away.
TEST(ItemThreads, DeliveriesRaceWithFormattingAndDeletion) {
    constexpr int kItems = 200;
    std::vector<CVItem*> items;
    std::vector<OPCHANDLE> handles;
    for (int i = 0; i < kItems; ++i) {
        items.push_back(new CVItem(nullptr));
        items.back()->added = TRUE;
        handles.push_back(items.back()->ClientHandle());
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> servers;
    for (int t = 0; t < 2; ++t)
        servers.emplace_back([&, t] {
            VARIANT v;
            v.vt = VT_BSTR;
            v.bstrVal = nullptr;
            for (int round = 0; !stop; ++round) {
                auto lock = ItemHandles().ReadLock();
                for (OPCHANDLE h : handles)
                    if (CVItem* item = ItemHandles().Find(h))
                        item->SetValueWithTimestamp(I4(round + t), 0xC0, FileTimeNow());
            }
        });
    std::string text;
    for (int i = 0; i < kItems; ++i) {
        for (int j = i; j < kItems; j += 7) items[j]->FormatValue(text);
        delete items[i];
    }
    stop = true;
    for (auto& t : servers) t.join();
    SUCCEED();
}

// The snapshot a forwarding reply reads without the item lock is always one whole state:
// type, bits and quality written together, never a mix of two deliveries.
TEST(ItemThreads, WireSnapshotIsNeverTorn) {
    CVItem item(nullptr);
    item.added = TRUE;
    VARIANT big;
    big.vt = VT_R8;
    big.dblVal = 1.5;
    std::uint64_t bigBits;
    std::memcpy(&bigBits, &big.dblVal, sizeof bigBits);
    std::atomic<bool> stop{false};
    std::thread server([&] {
        for (int n = 0; !stop; ++n) {
            if (n % 2)
                item.SetValue(big, 0xC0);
            else
                item.SetValue(I4(-7), 0x40);
        }
    });
    int seenBig = 0, seenSmall = 0;
    for (int i = 0; i < 200000 || seenBig == 0 || seenSmall == 0; ++i) {
        const CVItem::WireSnapshot s = item.ReadWireSnapshot();
        if (s.type == VT_EMPTY) continue;  // before the first delivery
        if (s.type == VT_R8) {
            ++seenBig;
            ASSERT_TRUE(s.good);
            ASSERT_EQ(s.bits, bigBits);
        } else {
            ++seenSmall;
            ASSERT_EQ(s.type, VT_I4);
            ASSERT_FALSE(s.good);
            ASSERT_EQ(static_cast<std::int32_t>(s.bits), -7);
        }
    }
    stop = true;
    server.join();

    item.Reset(false);
    EXPECT_EQ(item.ReadWireSnapshot().type, VT_EMPTY);
    EXPECT_FALSE(item.ReadWireSnapshot().good);
}
