// Groups removed, servers disconnected and reconnected while the simulation server's threads
// deliver data changes and the check threads look at the items. Run under ThreadSanitizer and
// AddressSanitizer: a delivery must never reach an item that is gone.
#include "connection_support.h"

#include "opc/client/client_handles.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "opc/client/thread_start.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cstdio>
#include <memory>
#include <new>
#include <thread>

namespace {

constexpr int kItems = 40;
constexpr int kRounds = 4;

CVGroup* BusyGroup(CVServer& server, DWORD mode, int round) {
    auto* group = new CVGroup(&server);
    group->SetName("Busy" + std::to_string(mode) + "-" + std::to_string(round));
    group->updateRate = 10;
    group->SetDataChangeMode(mode);
    group->SetCheckPeriodForTests(std::chrono::milliseconds(1));
    server.AddGroup(group, false);
    std::vector<CVItem*> items;
    for (int i = 0; i < kItems; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "Load.T%04d", i + round * kItems);
        items.push_back(new CVItem(group));
        items.back()->itemId = id;
        items.back()->active = TRUE;
    }
    group->AddItems(items.data(), kItems, false);
    return group;
}

bool Delivering(CVGroup* group) {
    return WaitUntil([&] {
        DWORD updates = 0;
        for (CVItem* item = group->FirstItem(); item; item = item->next) updates += item->GetUpdateCount();
        return updates >= 3 * kItems;
    });
}

class RemovalDuringDelivery : public ::testing::TestWithParam<DWORD> {
protected:
    void SetUp() override { simserver::RegisterSimulationServers(); }
    EventRecorder recorder;
};

TEST_P(RemovalDuringDelivery, GroupsAreRemovedWhileValuesArrive) {
    CVServer server;
    ASSERT_TRUE(server.Connect());
    for (int round = 0; round < kRounds; ++round) {
        CVGroup* group = BusyGroup(server, GetParam(), round);
        ASSERT_TRUE(Delivering(group));
        std::string text;
        for (CVItem* item = group->FirstItem(); item; item = item->next) item->FormatValue(text);
        server.RemoveGroup(group, true);
    }
    EXPECT_EQ(server.GroupCount(), 0);
    EXPECT_EQ(recorder.ItemCount(), 0);
}

TEST_P(RemovalDuringDelivery, ServerIsDisconnectedAndReconnectedWhileValuesArrive) {
    CVServer server;
    ASSERT_TRUE(server.Connect());
    CVGroup* group = BusyGroup(server, GetParam(), 0);
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_TRUE(Delivering(group));
        server.Disconnect();
        for (CVItem* item = group->FirstItem(); item; item = item->next) ASSERT_FALSE(item->added);
        ASSERT_TRUE(server.ConnectWithGroups());
    }
    ASSERT_TRUE(Delivering(group));
    // Destruction with everything live: deliveries, check thread and watchdog stop first.
}

INSTANTIATE_TEST_SUITE_P(Group, RemovalDuringDelivery,
                         ::testing::Values(kDataChangeMode10Data, kDataChangeMode10DataTime, kDataChangeMode20),
                         [](const auto& info) { return "Mode" + std::to_string(info.param); });

}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

// Leaves the process no room for another thread stack, makes a server and a group, and ends
// with 0 when both were made and gave their handles back.
[[noreturn]] void MakeObjectsWithoutRoomForThreads() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, std::size_t{1} << 30);  // no cached stack fits
    pthread_setattr_default_np(&attributes);
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(2);
    std::fclose(statm);
    const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
    const rlimit limit{room, room};
    ::setrlimit(RLIMIT_AS, &limit);

    const std::size_t handles = GroupHandles().LiveCount();
    try {
        auto server = std::make_unique<CVServer>();
        server->LinkGroup(new CVGroup(server.get()));
    } catch (const std::exception&) {
        std::_Exit(3);
    }
    std::_Exit(GroupHandles().LiveCount() == handles ? 0 : 4);
}

}  // namespace

// A group and a server whose thread cannot start live on without it and leave no handle.
TEST(ThreadStartFailure, ObjectsLiveOnWithoutTheirThreadAndLeaveNoHandle) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(MakeObjectsWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}
#endif

// No memory for a thread's state leaves the object without its thread, as no thread does.
TEST(ThreadStartFailure, NoMemoryForTheThreadIsCaughtToo) {
    struct BodyThatCannotMove {
        BodyThatCannotMove() = default;
        BodyThatCannotMove(BodyThatCannotMove&&) { throw std::bad_alloc(); }
        void operator()() const {}
    };
    std::thread thread;
    EXPECT_NO_THROW(StartObjectThread(thread, "test thread", BodyThatCannotMove{}));
    EXPECT_FALSE(thread.joinable());
}
