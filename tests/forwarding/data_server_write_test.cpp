// A peer's writes and reads through the data server, down to the simulation server: each write
// request becomes an asynchronous 1.0 write of the item's group, and the next read request
// shows the value the server then holds.
#include "forwarding/data_server.h"

#include "frames.h"
#include "peer.h"
#include "tests/opc/client/io_test_support.h"

#include "forwarding/data_frame.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

Bytes Le(const void* value, std::size_t size) {
    Bytes bytes(size);
    std::memcpy(bytes.data(), value, size);
    return bytes;
}

class WritesOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        simserver::RegisterSimulationServers();
        ASSERT_TRUE(server.Connect());
        group = new CVGroup(&server);
        group->SetName("Forwarding");
        group->SetDataChangeMode(kDataChangeMode10DataTime);  // the 1.0 write needs the 1.0 stream
        server.AddGroup(group, false);
        const char* ids[] = {"Writable.I4", "Writable.R8", "Writable.BOOL", "Writable.UI1"};
        for (int k = 0; k < 4; ++k) {
            auto* item = new CVItem(group);
            item->itemId = ids[k];
            item->active = FALSE;  // only the reads below change the values we see
            items.push_back(item);
            CItemAddressRegistry::Instance().RegisterAt(item, 40 + k);
        }
        group->AddItems(items.data(), static_cast<int>(items.size()), false);
        for (CVItem* item : items) ASSERT_TRUE(item->added) << item->itemId;
        ASSERT_TRUE(dataServer.StartServer(0));
        events.Clear();
    }

    // Waits until the server has reported `count` completed 1.0 writes.
    bool WaitForCompletedWrites(std::size_t count) {
        return WaitFor([&] {
            std::size_t completed = 0;
            for (const std::string& e : events.Events())
                if (e.rfind("Asynchronous 1.0 write transaction ", 0) == 0 && e.find("completed") != std::string::npos)
                    ++completed;
            return completed >= count;
        });
    }

    EventRecorder events;
    CVServer server;
    CVGroup* group = nullptr;
    std::vector<CVItem*> items;
    CDataServer dataServer{CItemAddressRegistry::Instance()};  // destroyed first: no peer reaches the items after this
};

}  // namespace

TEST_F(WritesOnServer, WriteRequestsReachTheServerAndReadsShowTheResult) {
    Peer peer(dataServer.Port());
    const std::int32_t i4 = -123456;
    const double r8 = 12.5;
    ASSERT_TRUE(peer.Send(Concat({
        WriteRequestBytes(40, 6, Le(&i4, 4)), WriteRequestBytes(41, 9, Le(&r8, 8)), WriteRequestBytes(42, 1, {0x01}),
        WriteRequestBytes(43, 3, {200}), WriteRequestBytes(44, 3, {1}),  // no item there: dropped
    })));
    ASSERT_TRUE(WaitForCompletedWrites(4)) << ::testing::PrintToString(events.Events());

    group->SyncRead(items.data(), static_cast<int>(items.size()), true);
    ASSERT_TRUE(peer.Send(ReadRequestBytes(40, 5)));
    const Bytes reply = peer.ReadFrame();
    Bytes body = {40, 0, 0x86};
    for (std::uint8_t b : Le(&i4, 4)) body.push_back(b);
    body.insert(body.end(), {41, 0, 0x89});
    for (std::uint8_t b : Le(&r8, 8)) body.push_back(b);
    body.insert(body.end(), {42, 0, 0x81, 0x01, 43, 0, 0x83, 200});
    EXPECT_EQ(reply, ReplyBytes(4, body));
    EXPECT_EQ(peer.Unread(), 0u);  // the writes were not answered
}

// The document's worker adds items while peers poll them: the reply reads the data type the
// add writes (run under ThreadSanitizer).
TEST_F(WritesOnServer, RepliesWhileTheWorkerAddsTheItemsReadTheirTypesSafely) {
    auto* adding = new CVGroup(&server);
    adding->SetName("Adding");
    server.AddGroup(adding, false);
    constexpr int kItems = 50;
    std::vector<CVItem*> fresh;
    for (int k = 0; k < kItems; ++k) {
        auto* item = new CVItem(adding);
        char id[32];
        std::snprintf(id, sizeof id, "Load.T%04d", k);
        item->itemId = id;
        item->active = TRUE;
        CItemAddressRegistry::Instance().RegisterAt(item, 100 + k);
        fresh.push_back(item);
    }
    std::atomic<bool> added{false};
    std::thread worker([&] {
        adding->AddItems(fresh.data(), kItems, false);
        added = true;
    });
    std::vector<std::uint8_t> reply;
    while (!added) {
        reply.clear();
        BuildDataFrame(CItemAddressRegistry::Instance(), 100, kItems, reply);
    }
    worker.join();
    EXPECT_TRUE(WaitFor([&] {
        reply.clear();
        BuildDataFrame(CItemAddressRegistry::Instance(), 100, kItems, reply);
        return (reply[5] | reply[6] << 8) == kItems;
    }));
}
