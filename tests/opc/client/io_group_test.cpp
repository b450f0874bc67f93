// Reads, writes and refreshes of a group against the simulation server, in each data-change
// mode: what reaches the server, what comes back, and every line reported.
#include "io_test_support.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/com/hresult.h"
#include "platform/time/tick.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kGroup = "IO";

class IoOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        ASSERT_TRUE(server.Connect());
    }

    CVGroup* NewGroup(DWORD mode, const char* name = kGroup) {
        auto* group = new CVGroup(&server);
        group->SetName(name);
        group->SetDataChangeMode(mode);
        server.AddGroup(group, false);
        return group;
    }

    // Adds the items; inactive items get no subscription updates, so only the reads under
    // test change them.
    std::vector<CVItem*> AddItems(CVGroup* group, const std::vector<std::string>& ids, BOOL active) {
        std::vector<CVItem*> items;
        for (const std::string& id : ids) {
            auto* item = new CVItem(group);
            item->itemId = id;
            item->active = active;
            items.push_back(item);
        }
        group->AddItems(items.data(), static_cast<int>(items.size()), false);
        for (CVItem* item : items) EXPECT_TRUE(item->added) << item->itemId;
        events.Clear();
        return items;
    }

    static std::string Value(const CVItem* item) {
        std::string text;
        item->FormatValue(text);
        return text;
    }

    // The transaction id in a report "... transaction %08X ...".
    static DWORD TransactionOf(const std::string& line) {
        const auto at = line.find("transaction ");
        return at == std::string::npos ? 0 : static_cast<DWORD>(std::strtoul(line.c_str() + at + 12, nullptr, 16));
    }

    EventRecorder events;
    CVServer server;
};

TEST_F(IoOnServer, SyncReadReportsEachFailedItemAndCountsTheOthers) {
    struct Case {
        bool fromDevice;
        unsigned failure, success;
    };
    for (const Case& c : {Case{false, 16018, 15015}, Case{true, 16017, 15014}}) {
        SCOPED_TRACE(c.fromDevice ? "device" : "cache");
        CVGroup* group = NewGroup(kDataChangeMode20);
        auto items = AddItems(group, {"Writable.I4", "Writable.WriteOnly", "Quality.Uncertain"}, FALSE);
        group->SyncRead(items.data(), 3, c.fromDevice);
        EXPECT_EQ(events.Events(), (std::vector<std::string>{Msg(c.failure, "Writable.WriteOnly", kGroup, 0xC0040006u),
                                                             Msg(c.success, 2, kGroup)}));
        // Every item takes the state the server returned for it, the failed one included.
        for (CVItem* item : items) EXPECT_EQ(item->GetUpdateCount(), 1u) << item->itemId;
        EXPECT_EQ(items[1]->GetQuality() & OPC_QUALITY_MASK, OPC_QUALITY_BAD);
        if (c.fromDevice) {
            EXPECT_EQ(items[2]->GetQuality(), OPC_QUALITY_UNCERTAIN);
        }
        server.RemoveGroup(group, true);
        events.Clear();
    }
}

// Each kind of write puts the mapped values on the server (read back from the device); a text
// that cannot be mapped is reported and the other items are written all the same.
TEST_F(IoOnServer, WritesReachTheServerInEveryMode) {
    struct Case {
        const char* name;
        DWORD mode;
        HRESULT (CVGroup::*write)(CVItem* const*, const std::string*, int);
        std::string initiated;  // prefix of the success line
        std::string completed;  // prefix of the completion line, "" for a synchronous write
    };
    const Case cases[] = {
        {"synchronous", kDataChangeMode20, &CVGroup::SyncWrite, Msg(15007, 5, kGroup), ""},
        {"asynchronous 1.0", kDataChangeMode10DataTime, &CVGroup::AsyncWrite10, "Asynchronous 1.0 write transaction ",
         "Asynchronous 1.0 write transaction "},
        {"asynchronous 2.0", kDataChangeMode20, &CVGroup::AsyncWrite20, "Asynchronous 2.0 write transaction ",
         "Asynchronous 2.0 write transaction "},
    };
    const std::vector<std::string> ids = {"Writable.I4",   "Writable.R8",   "Writable.BOOL",
                                          "Writable.BSTR", "Writable.DATE", "Writable.UI1"};
    const std::string texts[] = {"123", "2.5", "257", "héllo", "tomorrow", "300"};
    const std::vector<std::string> readBack = {"123", "2.5", "1", "héllo", "", "44"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVGroup* group = NewGroup(c.mode);
        auto items = AddItems(group, ids, FALSE);
        // The one text that cannot become its item's type is the call's outcome.
        EXPECT_EQ((group->*c.write)(items.data(), texts, static_cast<int>(items.size())), DISP_E_TYPEMISMATCH);

        const std::string initiated = events.WaitForEvent(c.initiated, c.completed.empty() ? "" : "initiated");
        EXPECT_NE(initiated, "");
        if (!c.completed.empty()) {
            const DWORD id = TransactionOf(initiated);
            char prefix[96];
            std::snprintf(prefix, sizeof prefix, "%s%08X completed for 5 items on group 'IO'", c.completed.c_str(), id);
            EXPECT_NE(events.WaitForEvent(prefix), "") << prefix;
            EXPECT_NE(initiated.find("initiated for 5 items on group 'IO'"), std::string::npos) << initiated;
        }
        const auto all = events.Events();
        EXPECT_EQ(std::count(all.begin(), all.end(), Msg(16028, "Writable.DATE")), 1);

        group->SyncRead(items.data(), static_cast<int>(items.size()), true);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!readBack[i].empty()) {
                EXPECT_EQ(Value(items[i]), readBack[i]) << ids[i];
            }
        }
        server.RemoveGroup(group, true);
        events.Clear();
    }
}

TEST_F(IoOnServer, ArrayTextWriteChangesOnlyTheElementsNamed) {
    CVGroup* group = NewGroup(kDataChangeMode20);
    auto items = AddItems(group, {"Writable.Array.I4"}, FALSE);
    group->SyncRead(items.data(), 1, true);  // the current value is the template of the text
    const std::string all[] = {"[ 1, 2, 3, 4, 5 ]"};
    group->SyncWrite(items.data(), all, 1);
    group->SyncRead(items.data(), 1, true);
    EXPECT_EQ(Value(items[0]), "[ 1, 2, 3, 4, 5 ]");

    const std::string first[] = {"[ 9 ]"};
    group->SyncWrite(items.data(), first, 1);
    group->SyncRead(items.data(), 1, true);
    EXPECT_EQ(Value(items[0]), "[ 9, 2, 3, 4, 5 ]");
}

TEST_F(IoOnServer, AsyncWrite10InA20GroupReportsTheCallsFailure) {
    CVGroup* group = NewGroup(kDataChangeMode20);
    ASSERT_EQ(group->WriteConnection(), 0u);
    auto items = AddItems(group, {"Writable.I4", "Writable.R8"}, FALSE);
    const std::string texts[] = {"1", "2"};
    EXPECT_EQ(group->AsyncWrite10(items.data(), texts, 2), MakeHResult(0x80040200));
    EXPECT_EQ(events.Events(), (std::vector<std::string>{Msg(16011, "Writable.I4", kGroup, 0x80040200u),
                                                         Msg(16011, "Writable.R8", kGroup, 0x80040200u)}));
}

// 1.0 reads and refreshes name the server's transaction, which then completes through the
// data stream with the same id.
TEST_F(IoOnServer, Async10ReadsAndRefreshesAreReportedAndComplete) {
    struct Case {
        const char* name;
        std::function<void(CVGroup*, std::vector<CVItem*>&)> start;
        std::string initiated;  // the report up to the transaction id
        std::string after;      // the report after the id
    };
    const Case cases[] = {
        {"read from cache", [](CVGroup* g, auto& items) { g->AsyncRead10(items.data(), 2, false); },
         "Asynchronous 1.0 read transaction ", " from cache initiated for 2 items on group 'IO'."},
        {"read from device", [](CVGroup* g, auto& items) { g->AsyncRead10(items.data(), 2, true); },
         "Asynchronous 1.0 read transaction ", " from device initiated for 2 items on group 'IO'."},
        {"refresh from cache", [](CVGroup* g, auto&) { g->AsyncRefresh10(false); },
         "Asynchronous 1.0 refresh transaction ", " from cache initiated on group 'IO'."},
        {"refresh from device", [](CVGroup* g, auto&) { g->AsyncRefresh10(true); },
         "Asynchronous 1.0 refresh transaction ", " from device initiated on group 'IO'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVGroup* group = NewGroup(kDataChangeMode10DataTime);
        auto items = AddItems(group, {"Writable.I4", "Ramp.I4"}, TRUE);
        c.start(group, items);
        const std::string initiated = events.WaitForEvent(c.initiated);
        ASSERT_NE(initiated, "");
        const DWORD id = TransactionOf(initiated);
        char expected[160];
        std::snprintf(expected, sizeof expected, "%s%08X%s", c.initiated.c_str(), id, c.after.c_str());
        EXPECT_EQ(initiated, expected);
        EXPECT_NE(events.WaitForEvent(Msg(15018, id, 2, kGroup, 0u)), "");
        server.RemoveGroup(group, true);
        events.Clear();
    }
}

// 2.0 transactions are named by the tick count read when the operation starts.
TEST_F(IoOnServer, Async20ReadsAndRefreshesUseTheTickCount) {
    struct Case {
        const char* name;
        std::function<void(CVGroup*, std::vector<CVItem*>&)> start;
        std::string initiated;
        std::string after;
    };
    const Case cases[] = {
        {"read", [](CVGroup* g, auto& items) { g->AsyncRead20(items.data(), 2); }, "Asynchronous 2.0 read transaction ",
         " initiated for 2 items on group 'IO'."},
        {"refresh from cache", [](CVGroup* g, auto&) { g->AsyncRefresh20(false); },
         "Asynchronous 2.0 refresh transaction ", " from cache initiated on group 'IO'."},
        {"refresh from device", [](CVGroup* g, auto&) { g->AsyncRefresh20(true); },
         "Asynchronous 2.0 refresh transaction ", " from device initiated on group 'IO'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVGroup* group = NewGroup(kDataChangeMode20);
        auto items = AddItems(group, {"Writable.I4", "Ramp.I4"}, TRUE);
        const DWORD before = GetTickCount();
        c.start(group, items);
        const DWORD after = GetTickCount();
        const std::string initiated = events.WaitForEvent(c.initiated);
        ASSERT_NE(initiated, "");
        const DWORD id = TransactionOf(initiated);
        EXPECT_LE(id - before, after - before) << "the id is the tick count at the start";
        char expected[160];
        std::snprintf(expected, sizeof expected, "%s%08X%s", c.initiated.c_str(), id, c.after.c_str());
        EXPECT_EQ(initiated, expected);
        EXPECT_NE(events.WaitForEvent(Msg(15023, id, 2, kGroup, 0u)), "");
        server.RemoveGroup(group, true);
        events.Clear();
    }
}

// Plain values, texts and arrays arrive whole, both in a read's completion and in a
// subscription's data change.
TEST_F(IoOnServer, Async20CallbacksCarryEveryKindOfValue) {
    const std::vector<std::string> ids = {"Writable.BSTR", "Writable.Array.I4", "Writable.R8", "Writable.BOOL",
                                          "Writable.I4"};
    const std::string written[] = {"héllo wörld", "[ 7, 6, 5, 4, 3 ]", "-2.25", "1", "-123456"};
    for (const BOOL active : {FALSE, TRUE}) {
        SCOPED_TRACE(active ? "data change" : "read completion");
        CVGroup* writer = NewGroup(kDataChangeMode20, "Writer");
        auto targets = AddItems(writer, ids, FALSE);
        writer->SyncRead(targets.data(), static_cast<int>(targets.size()), true);  // templates of the array text
        writer->SyncWrite(targets.data(), written, static_cast<int>(targets.size()));
        server.RemoveGroup(writer, true);

        CVGroup* group = NewGroup(kDataChangeMode20);
        auto items = AddItems(group, ids, active);
        if (!active) group->AsyncRead20(items.data(), static_cast<int>(items.size()));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::any_of(items.begin(), items.end(), [](CVItem* item) { return item->GetUpdateCount() == 0; }) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(Value(items[i]), written[i]) << ids[i];
        server.RemoveGroup(group, true);
        events.Clear();
    }
}

TEST_F(IoOnServer, RefreshOfAGroupWithoutItems) {
    // 2.0: nothing is asked of the server.
    CVGroup* group20 = NewGroup(kDataChangeMode20, "Empty20");
    events.Clear();
    group20->AsyncRefresh20(false);
    EXPECT_TRUE(events.Events().empty());

    // 1.0: the server is asked, and its answer (no active items) is reported.
    CVGroup* group10 = NewGroup(kDataChangeMode10DataTime, "Empty10");
    events.Clear();
    group10->AsyncRefresh10(false);
    EXPECT_EQ(events.Events(), std::vector<std::string>{Msg(16022, "Empty10", 0x80004005u)});
}

// Without a connected server the operations call nothing and report nothing.
TEST(IoOffline, OperationsNeedAConnectedServer) {
    EventRecorder events;
    CVServer server;  // never connected
    CVGroup group(&server);
    group.SetName("Offline");
    CVItem item(&group);
    item.itemId = "Writable.I4";
    CVItem* items[] = {&item};
    const std::string texts[] = {"1"};
    group.SyncRead(items, 1, true);
    group.AsyncRead10(items, 1, false);
    group.AsyncRefresh10(false);
    group.AsyncRead20(items, 1);
    group.AsyncRefresh20(true);
    EXPECT_EQ(group.SyncWrite(items, texts, 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group.AsyncWrite10(items, texts, 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group.AsyncWrite20(items, texts, 1), CONNECT_E_NOCONNECTION);
    EXPECT_TRUE(events.Events().empty());
    EXPECT_EQ(item.GetUpdateCount(), 0u);
}

}  // namespace
