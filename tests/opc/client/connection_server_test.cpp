// Server connections against the simulation server: connect, disconnect and reconnect
// messages, failures to resolve, create or use a server, the shutdown request, restoring
// groups and items, and unique group names.
#include "connection_support.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "opc/client/shutdown_sink.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using simserver::kDefaultProgId;
using simserver::kNoServerProgId;

constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BA);

class ServerConnection : public ::testing::Test {
protected:
    void SetUp() override { simserver::RegisterSimulationServers(); }

    EventRecorder recorder;
};

TEST_F(ServerConnection, NewServerStartsDisconnectedWithTheDefaultProgId) {
    CVServer server;
    EXPECT_EQ(server.progId, "Orvane OPC");
    EXPECT_FALSE(server.IsConnected());
    EXPECT_FALSE(server.IsAlive());
    EXPECT_EQ(server.GroupCount(), 0);
}

TEST_F(ServerConnection, ConnectDisconnectAndReconnectReportInOrder) {
    CVServer server;
    server.flags = 0x3;
    ASSERT_TRUE(server.Connect());
    EXPECT_TRUE(server.IsConnected());
    EXPECT_TRUE(server.IsAlive());
    EXPECT_EQ(server.flags, 0x2u) << "every connect clears bit 0";
    for (bool held : {bool(server.OpcServer()), bool(server.Common()), bool(server.ConnectionPointContainer()),
                      bool(server.ItemProperties()), bool(server.BrowseAddressSpace()), bool(server.PublicGroups()),
                      bool(server.PersistFile())})
        EXPECT_TRUE(held);

    const std::int64_t since = server.Statistics().ConnectedSinceMs();
    EXPECT_GT(since, 0);
    EXPECT_EQ(server.Statistics().Reconnects(), 0u);

    ASSERT_TRUE(server.Connect());  // reconnect while connected
    EXPECT_GE(server.Statistics().ConnectedSinceMs(), since);
    EXPECT_EQ(server.Statistics().Reconnects(), 1u);
    server.Disconnect();
    EXPECT_EQ(server.Statistics().ConnectedSinceMs(), 0) << "not connected any more";
    server.Disconnect();  // a second disconnect reports nothing
    EXPECT_FALSE(server.IsConnected());
    EXPECT_FALSE(server.OpcServer());

    const std::string connected = Msg(15000, kDefaultProgId);
    const std::string disconnected = Msg(15002, kDefaultProgId);
    EXPECT_EQ(recorder.Events(), (std::vector<std::string>{connected, disconnected, connected, disconnected}));
    EXPECT_EQ(simserver::LiveServerCount(kDefaultProgId), 0u) << "every reference was released";
}

struct ConnectFailure {
    const char* name;
    std::string progId;
    std::string remote;
    std::string expected;
};

class ConnectFailures : public ServerConnection, public ::testing::WithParamInterface<ConnectFailure> {};

TEST_P(ConnectFailures, ReportAndStayDisconnected) {
    const ConnectFailure& c = GetParam();
    CVServer server;
    EXPECT_FALSE(server.SetTargetAndConnect(c.progId, c.remote));
    EXPECT_FALSE(server.IsConnected());
    EXPECT_FALSE(server.IsAlive());
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{c.expected});
    // The status window shows the same text as the server's last error, with its time.
    const ServerStatistics::LastError error = server.Statistics().LastErrorRecord();
    EXPECT_EQ(std::string(error.text), c.expected);
    EXPECT_GT(error.unixMs, 0);
    EXPECT_EQ(server.Statistics().ConnectedSinceMs(), 0);
    EXPECT_EQ(server.progId, c.progId);
    EXPECT_EQ(server.remoteComputer, c.remote);
}

INSTANTIATE_TEST_SUITE_P(
    Connection, ConnectFailures,
    ::testing::Values(ConnectFailure{"UnknownProgId", "No.Such.Server", "", Msg(16001, "No.Such.Server")},
                      // The ProgID is resolved on this computer before the remote one is asked.
                      ConnectFailure{"UnknownProgIdOnRemoteComputer", "No.Such.Server", "plant-host-7",
                                     Msg(16001, "No.Such.Server")},
                      ConnectFailure{"EmptyProgId", "", "", Msg(16001, "")},
                      ConnectFailure{"UnreachableComputer", kDefaultProgId, "plant-host-7",
                                     Msg(16000, kDefaultProgId, Hex(kServerUnavailable))},
                      // The creation succeeds with some interfaces (CO_S_NOTALLINTERFACES), then the
                      // shutdown point is found and advised: its S_OK is the last result.
                      ConnectFailure{"ServerWithoutIOPCServer", kNoServerProgId, "", Msg(16002, kNoServerProgId, 0u)}),
    [](const auto& info) { return info.param.name; });

TEST_F(ServerConnection, ServerWithoutIOPCServerKeepsItsOtherInterfacesUntilReleased) {
    CVServer server;
    server.progId = kNoServerProgId;
    ASSERT_FALSE(server.Connect());
    EXPECT_TRUE(server.Common());
    EXPECT_EQ(simserver::LiveServerCount(kNoServerProgId), 1u);
    recorder.Clear();
    server.Disconnect();
    EXPECT_FALSE(server.Common());
    EXPECT_EQ(simserver::LiveServerCount(kNoServerProgId), 0u);
    EXPECT_TRUE(recorder.Events().empty()) << "a server that never connected is not reported as disconnected";
}

TEST_F(ServerConnection, LocalComputerNamesConnectLikeNoName) {
    for (const char* name : {"localhost", "127.0.0.1"}) {
        CVServer server;
        EXPECT_TRUE(server.SetTargetAndConnect(kDefaultProgId, name)) << name;
    }
}

TEST_F(ServerConnection, ShutdownRequestIsReportedAndHandedToTheNotifier) {
    RecordingNotifier notifier;
    CVServer server;
    ASSERT_TRUE(server.Connect());
    EXPECT_EQ(simserver::RequestShutdown(kDefaultProgId, u"maintenance at 12:00"), 1u);

    // In this process the request is delivered at once; from a server host, a moment later.
    EXPECT_TRUE(recorder.WaitFor(Msg(15012, kDefaultProgId, "maintenance at 12:00")));
    EXPECT_TRUE(WaitUntil([&] { return !notifier.Shutdowns().empty(); }));
    EXPECT_EQ(recorder.CountOf(Msg(15012, kDefaultProgId, "maintenance at 12:00")), 1);
    EXPECT_EQ(notifier.Shutdowns(), std::vector<CVServer*>{&server});
    EXPECT_TRUE(server.IsConnected()) << "the GUI thread disconnects, not the server's thread";

    server.Disconnect();
    EXPECT_EQ(simserver::RequestShutdown(kDefaultProgId, u"again"), 0u) << "the sink was unadvised";
    EXPECT_EQ(notifier.Shutdowns().size(), 1u);
}

TEST(ShutdownSink, AnswersOnlyItsOwnInterfaces) {
    ComPtr<IVShutdownSink> sink(new IVShutdownSink(nullptr, "P"));
    struct Case {
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    };
    const Case cases[] = {{&IID_IUnknown, false, S_OK},
                          {&IID_IOPCShutdown, false, S_OK},
                          {&IID_IOPCDataCallback, false, E_NOINTERFACE},
                          {&IID_IUnknown, true, E_INVALIDARG}};
    for (const Case& c : cases) {
        void* out = nullptr;
        EXPECT_EQ(sink->QueryInterface(*c.iid, c.nullOut ? nullptr : &out), c.expected);
        if (out) static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(sink->ShutdownRequest(u"detached"), S_OK);
}

TEST_F(ServerConnection, NotifierThatDisconnectsAtOnceDoesNotDeadlock) {
    struct DisconnectingNotifier : ClientNotifier {
        void ServerShutdownRequested(CVServer* server) override { server->Disconnect(); }
        void ServerStoppedAnswering(CVServer*) override {}
    } notifier;
    SetClientNotifier(&notifier);
    CVServer server;
    ASSERT_TRUE(server.Connect());
    simserver::RequestShutdown(kDefaultProgId, u"now");
    EXPECT_TRUE(WaitUntil([&] { return !server.IsConnected(); }));
    SetClientNotifier(nullptr);
    EXPECT_FALSE(server.IsConnected());
}

TEST_F(ServerConnection, AddGroupWithoutConnectionKeepsTheGroupListed) {
    CVServer server;
    auto* group = new CVGroup(&server);
    group->SetName("Boilers");
    server.AddGroup(group, false);
    EXPECT_EQ(server.GroupCount(), 1);
    EXPECT_EQ(server.FirstGroup(), group);
    EXPECT_FALSE(group->onServer);
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{Msg(16008, "Boilers", kDefaultProgId)});
}

TEST_F(ServerConnection, GroupListRunsFromNewestToOldest) {
    CVServer server;
    CVGroup* groups[3];
    for (CVGroup*& group : groups) {
        group = new CVGroup(&server);
        server.LinkGroup(group);
    }
    EXPECT_EQ(server.GroupCount(), 3);
    EXPECT_EQ(server.FirstGroup(), groups[2]);
    EXPECT_EQ(groups[2]->next, groups[1]);
    EXPECT_EQ(groups[1]->next, groups[0]);
    EXPECT_EQ(groups[0]->prev, groups[1]);

    server.RemoveGroup(groups[1], true);  // from the middle
    EXPECT_EQ(server.GroupCount(), 2);
    EXPECT_EQ(groups[2]->next, groups[0]);
    EXPECT_EQ(groups[0]->prev, groups[2]);
    server.RemoveGroup(groups[2], true);  // the head
    EXPECT_EQ(server.FirstGroup(), groups[0]);
    EXPECT_EQ(groups[0]->prev, nullptr);
}

// A server with two groups of items, taken off and put back on the server.
TEST_F(ServerConnection, ConnectWithGroupsRestoresEveryGroupAndItem) {
    CVServer server;
    ASSERT_TRUE(server.Connect());
    const std::vector<std::vector<std::string>> layout = {{"Ramp.I4", "Ramp.R8", "Random.UI2"},
                                                          {"Writable.I2", "Text.Static"}};
    std::vector<CVGroup*> groups;
    for (std::size_t g = 0; g < layout.size(); ++g) {
        auto* group = new CVGroup(&server);
        group->SetName("Unit" + std::to_string(g));
        server.AddGroup(group, false);
        std::vector<CVItem*> items;
        for (const std::string& id : layout[g]) {
            items.push_back(new CVItem(group));
            items.back()->itemId = id;
            items.back()->active = TRUE;
        }
        group->AddItems(items.data(), static_cast<int>(items.size()), false);
        groups.push_back(group);
    }
    EXPECT_EQ(recorder.ItemCount(), 5);

    server.Disconnect();
    for (CVGroup* group : groups) {
        EXPECT_FALSE(group->onServer);
        EXPECT_FALSE(group->ItemMgt());
        for (CVItem* item = group->FirstItem(); item; item = item->next) {
            EXPECT_FALSE(item->added) << item->itemId;
            EXPECT_EQ(item->GetQuality(), OPC_QUALITY_OUT_OF_SERVICE);
            EXPECT_EQ(item->GetUpdateCount(), 0u);
        }
    }
    EXPECT_EQ(server.GroupCount(), 2);
    EXPECT_EQ(recorder.ItemCount(), 5) << "a disconnect keeps the items";

    recorder.Clear();
    ASSERT_TRUE(server.ConnectWithGroups());
    EXPECT_EQ(recorder.CountOf(Msg(15006, 3, "Unit0")), 1);
    EXPECT_EQ(recorder.CountOf(Msg(15006, 2, "Unit1")), 1);
    for (CVGroup* group : groups) {
        EXPECT_TRUE(group->onServer);
        for (CVItem* item = group->FirstItem(); item; item = item->next) {
            EXPECT_TRUE(item->added) << item->itemId;
            EXPECT_NE(item->serverHandle, 0u);
        }
        CVItem* first = group->FirstItem();
        EXPECT_TRUE(WaitUntil([&] { return first->IsGood(); })) << "values flow again on " << group->Name();
    }
}

TEST_F(ServerConnection, ReconnectingAConnectedServerMovesItsGroupsToTheNewServerObject) {
    CVServer server;
    ASSERT_TRUE(server.Connect());
    auto* group = new CVGroup(&server);
    group->SetName("Moving");
    server.AddGroup(group, false);
    auto* item = new CVItem(group);
    item->itemId = "Ramp.I2";
    item->active = TRUE;
    group->AddItems(&item, 1, false);
    ASSERT_TRUE(WaitUntil([&] { return item->IsGood(); }));

    recorder.Clear();
    ASSERT_TRUE(server.ConnectWithGroups());
    EXPECT_EQ(recorder.Events(),
              (std::vector<std::string>{Msg(15002, kDefaultProgId), Msg(15000, kDefaultProgId),
                                        Msg(15001, "Moving", kDefaultProgId), Msg(15006, 1, "Moving")}));
    EXPECT_EQ(simserver::LiveServerCount(kDefaultProgId), 1u) << "the old server object was let go";
    const DWORD before = item->GetUpdateCount();
    EXPECT_TRUE(WaitUntil([&] { return item->GetUpdateCount() > before + 1; }));
}

TEST_F(ServerConnection, ConnectWithGroupsToAnUnreachableServerReportsEveryGroup) {
    CVServer server;
    server.remoteComputer = "plant-host-7";
    auto* empty = new CVGroup(&server);
    empty->SetName("Empty");
    server.LinkGroup(empty);
    auto* full = new CVGroup(&server);
    full->SetName("Full");
    server.LinkGroup(full);
    auto* item = new CVItem(full);
    item->itemId = "Ramp.I4";
    full->LinkItem(item);

    EXPECT_FALSE(server.ConnectWithGroups());
    EXPECT_EQ(recorder.Events(), (std::vector<std::string>{
                                     Msg(16000, kDefaultProgId, Hex(kServerUnavailable)),
                                     Msg(16008, "Full", kDefaultProgId),
                                     Msg(16007, "Full"),
                                     Msg(16008, "Empty", kDefaultProgId),
                                 }));
}

TEST_F(ServerConnection, RemovingAGroupReportsAndDeletingItForgetsIt) {
    CVServer server;
    ASSERT_TRUE(server.Connect());
    auto* group = new CVGroup(&server);
    group->SetName("Tanks");
    server.AddGroup(group, false);
    CVItem* item = new CVItem(group);
    item->itemId = "Ramp.UI1";
    group->AddItems(&item, 1, false);
    recorder.Clear();

    server.RemoveGroup(group, false);
    EXPECT_EQ(recorder.Events(),
              (std::vector<std::string>{Msg(15005, 1, "Tanks"), Msg(15003, "Tanks", kDefaultProgId)}));
    EXPECT_EQ(server.GroupCount(), 1);
    EXPECT_FALSE(item->added);

    recorder.Clear();
    server.RemoveGroup(group, true);  // no longer on the server: nothing to report
    EXPECT_TRUE(recorder.Events().empty());
    EXPECT_EQ(server.GroupCount(), 0);
    EXPECT_EQ(recorder.ItemCount(), 0);
}

struct UniqueNameCase {
    const char* name;
    std::vector<std::string> taken;
    std::string requested;
    std::string expected;
};

class UniqueGroupNames : public ::testing::TestWithParam<UniqueNameCase> {};

TEST_P(UniqueGroupNames, MakeUniqueGroupName) {
    const UniqueNameCase& c = GetParam();
    CVServer server;
    for (const std::string& name : c.taken) {
        auto* group = new CVGroup(&server);
        group->SetName(name);
        server.LinkGroup(group);
    }
    std::string name = c.requested;
    EXPECT_TRUE(server.MakeUniqueGroupName(name));
    EXPECT_EQ(name, c.expected);
    EXPECT_LE(name.size(), std::max<std::size_t>(32, c.requested.size()));
}

const std::string k31 = std::string(31, 'A');

INSTANTIATE_TEST_SUITE_P(
    Server, UniqueGroupNames,
    ::testing::Values(
        UniqueNameCase{"FreeNameStays", {"Other"}, "Pump", "Pump"},
        UniqueNameCase{"FreeLongNameStaysWhole", {"Other"}, std::string(40, 'L'), std::string(40, 'L')},
        UniqueNameCase{"NumberIsAppended", {"Pump"}, "Pump", "Pump1"},
        UniqueNameCase{"TakenRegardlessOfCase", {"PUMP"}, "pump", "pump1"},
        UniqueNameCase{"TrailingDigitsIncrement", {"Group0"}, "Group0", "Group1"},
        UniqueNameCase{"SkipsTakenNumbers", {"Group0", "Group1"}, "Group0", "Group2"},
        UniqueNameCase{"CarriesIntoMoreDigits", {"Group9", "Group10"}, "Group9", "Group11"},
        UniqueNameCase{"LeadingZerosAreANumber", {"Line007"}, "Line007", "Line8"},
        UniqueNameCase{"AllDigits", {"42"}, "42", "43"},
        // 32 characters ending in 9: the base gives way so that "10" fits.
        UniqueNameCase{"FullLengthEndingInNine", {k31 + "9"}, k31 + "9", std::string(30, 'A') + "10"},
        UniqueNameCase{"LongNameIsCutTo32", {std::string(40, 'L')}, std::string(40, 'L'), std::string(31, 'L') + "1"},
        // A number beyond 32 bits starts over.
        UniqueNameCase{"DigitsBeyond32BitsStartOver", {"Tag4294967295"}, "Tag4294967295", "Tag1"},
        UniqueNameCase{"CutNeverSplitsACharacter",
                       {std::string(30, 'x') + "\xE6\xB3\xB5"},
                       std::string(30, 'x') + "\xE6\xB3\xB5",
                       std::string(30, 'x') + "1"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
