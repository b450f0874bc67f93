// The watchdog: a server that stops answering GetStatus is disconnected (or handed to the
// notifier) and stays disconnected. These tests wait for the watchdog's five-second period.
#include "connection_support.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

namespace {

constexpr char kDyingProgId[] = "Orvane.Test.Dying";

class Watchdog : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::SimConfig config;
        config.statusCallsBeforeFailure = 1;  // the connect test below may use the one call
        simserver::RegisterSimulationServer(kDyingProgId, config);
        server.progId = kDyingProgId;
    }

    EventRecorder recorder;
    CVServer server;
};

TEST_F(Watchdog, DeadServerIsDisconnectedAndStaysSo) {
    ASSERT_TRUE(server.Connect());
    EXPECT_TRUE(server.IsAlive());
    EXPECT_FALSE(server.IsAlive()) << "the server has stopped answering";
    auto* group = new CVGroup(&server);
    group->SetName("Watched");
    server.AddGroup(group, false);
    auto* item = new CVItem(group);
    item->itemId = "Ramp.I4";
    group->AddItems(&item, 1, false);

    const std::string disconnected = Msg(15002, kDyingProgId);
    ASSERT_TRUE(recorder.WaitFor(disconnected));
    EXPECT_EQ(recorder.CountOf(Msg(16040, kDyingProgId)), 1) << "the verdict is said once";
    EXPECT_EQ(std::string(server.Statistics().LastErrorRecord().text), Msg(16040, kDyingProgId));
    EXPECT_FALSE(server.IsConnected());
    EXPECT_FALSE(server.OpcServer());
    EXPECT_EQ(server.GroupCount(), 1) << "the project keeps the group";
    EXPECT_FALSE(group->onServer);
    EXPECT_FALSE(item->added);
    const std::vector<std::string> status = recorder.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), "正在断开连接"), status.end());

    const std::vector<std::string> events = recorder.Events();
    const auto at = std::find(events.begin(), events.end(), disconnected);
    EXPECT_EQ(std::count(at, events.end(), Msg(15000, kDyingProgId)), 0) << "nothing reconnects it";
}

TEST_F(Watchdog, WithANotifierTheDeadServerIsHandedOverOnce) {
    RecordingNotifier notifier;
    ASSERT_TRUE(server.Connect());
    EXPECT_TRUE(server.IsAlive());  // the last answer
    ASSERT_TRUE(notifier.WaitForDeath());
    EXPECT_EQ(notifier.Deaths(), std::vector<CVServer*>{&server});
    EXPECT_TRUE(server.IsConnected()) << "the notifier's GUI thread disconnects it";
    server.Disconnect();
    EXPECT_EQ(recorder.CountOf(Msg(15002, kDyingProgId)), 1);
}

}  // namespace
