// The forwarding settings at work on the running data server, through real sockets, with
// peers from two addresses of this machine (127.0.0.1 and 127.0.0.2) and writes that go down
// to the simulation server: who may connect, how many, who may write, the audit line of each
// write, settings changed while serving, and the figures of the status window.
#include "forwarding/data_server.h"

#include "frames.h"
#include "peer.h"
#include "tests/opc/client/io_test_support.h"

#include "forwarding/gateway_status.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "platform/strings/language.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kHere = "127.0.0.1";
constexpr const char* kOther = "127.0.0.2";  // another host, as far as the server can tell

Bytes I4Bytes(std::int32_t value) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

class ServerPolicy : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        simserver::RegisterSimulationServers();
        ASSERT_TRUE(server.Connect());
        // The 1.0 write needs a group on the 1.0 stream; in a 2.0 group it fails at the call.
        stream10 = AddGroup("Forwarding10", kDataChangeMode10DataTime, "Writable.I4", 40);
        callback20 = AddGroup("Forwarding20", kDataChangeMode20, "Writable.UI1", 42);
        written = stream10->FirstItem();
        dataServer = std::make_unique<CDataServer>(CItemAddressRegistry::Instance());
        events.Clear();
    }
    void TearDown() override { dataServer.reset(); }  // no peer reaches the items after this

    CVGroup* AddGroup(const char* name, DWORD mode, const char* itemId, int address) {
        auto* group = new CVGroup(&server);
        group->SetName(name);
        group->SetDataChangeMode(mode);
        server.AddGroup(group, false);
        auto* item = new CVItem(group);
        item->itemId = itemId;
        item->active = FALSE;  // only the reads below change the value we see
        CItemAddressRegistry::Instance().RegisterAt(item, address);
        group->AddItems(&item, 1, false);
        EXPECT_TRUE(item->added);
        return group;
    }

    void Start(const ForwardingSettings& settings) {
        dataServer->ApplySettings(settings);
        ASSERT_TRUE(dataServer->StartServer(0));
    }

    std::unique_ptr<Peer> Connect(const char* from) {
        auto peer = std::make_unique<Peer>(dataServer->Port(), 0, from);
        const std::size_t before = dataServer->ConnectionCount();
        EXPECT_TRUE(WaitFor([&] { return dataServer->ConnectionCount() > before; })) << from;
        return peer;
    }

    // The written item's value as the server holds it.
    std::string ValueOnServer() {
        CVItem* items[] = {written};
        stream10->SyncRead(items, 1, true);
        std::string text;
        written->FormatValue(text);
        return text;
    }

    // Sends one write of `value` to address 40 and lets the server take it in.
    void WriteFrom(Peer& peer, std::int32_t value) {
        const std::size_t before = ForwardingCounters::Read(dataServer->Counters().writes);
        ASSERT_TRUE(peer.Send(WriteRequestBytes(40, 6, I4Bytes(value))));
        ASSERT_TRUE(WaitFor([&] { return ForwardingCounters::Read(dataServer->Counters().writes) > before; }));
    }

    int WriteTransactions() { return events.CountMatching("Asynchronous 1.0 write transaction ", "'Forwarding10'. "); }

    EventRecorder events;
    CVServer server;
    CVGroup* stream10 = nullptr;
    CVGroup* callback20 = nullptr;
    CVItem* written = nullptr;
    std::unique_ptr<CDataServer> dataServer;
};

}  // namespace

TEST_F(ServerPolicy, AnAllowListRefusesAPeerFromAnotherAddressAndLogsItOncePerMinute) {
    struct Case {
        const char* name;
        const char* listen;  // nullptr: every IPv4 address
    };
    // Listening on "::", an IPv4 peer arrives as ::ffff:127.0.0.1 and must still match.
    for (const Case& c : {Case{"IPv4", nullptr}, Case{"dual stack", "::"}}) {
        SCOPED_TRACE(c.name);
        dataServer = std::make_unique<CDataServer>(CItemAddressRegistry::Instance());
        events.Clear();
        ForwardingSettings settings;
        if (c.listen) settings.listenAddress = PeerAddress::Parse(c.listen);
        settings.allowed = AddressList::Parse("127.0.0.1/32").list;
        Start(settings);

        auto here = Connect(kHere);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Peer other(dataServer->Port(), 0, kOther);
            EXPECT_TRUE(other.WaitClosed()) << "closed at once";
        }
        EXPECT_EQ(events.CountOf(Msg(16035, kOther)), 1) << ::testing::PrintToString(events.Events());
        EXPECT_EQ(ForwardingCounters::Read(dataServer->Counters().refusedPeers), 2u);

        ASSERT_TRUE(here->Send(ReadRequestBytes(0, 0)));
        EXPECT_EQ(here->ReadFrame(), ReplyBytes(0, {})) << "the listed peer is served";
        ASSERT_EQ(dataServer->Peers().size(), 1u);
        EXPECT_EQ(dataServer->Peers()[0].address, kHere);
    }
}

TEST_F(ServerPolicy, PeersBeyondTheLargestNumberAreRefused) {
    ForwardingSettings settings;
    settings.maxPeers = 1;
    Start(settings);
    auto first = Connect(kOther);
    Peer second(dataServer->Port());
    EXPECT_TRUE(second.WaitClosed());
    EXPECT_EQ(events.Events(), std::vector<std::string>{Msg(16036, kHere, 1)});
    first.reset();
    EXPECT_TRUE(WaitFor([&] { return dataServer->ConnectionCount() == 0; }));
    auto third = Connect(kHere);  // room again
    EXPECT_EQ(dataServer->ConnectionCount(), 1u);
}

TEST_F(ServerPolicy, WithWritesOffAWriteChangesNothingAndIsLogged) {
    const std::string before = ValueOnServer();
    events.Clear();
    ForwardingSettings settings;
    settings.writes = LinkWrites::kOff;
    Start(settings);
    auto peer = Connect(kHere);
    const std::int32_t value = before == "4711" ? 4712 : 4711;
    WriteFrom(*peer, value);
    ASSERT_TRUE(peer->Send(ReadRequestBytes(0, 0)));  // the write was not answered: this reply comes first
    EXPECT_EQ(peer->ReadFrame(), ReplyBytes(0, {}));

    const std::string off = Tr("转发写入已关闭", "writes over the link are off");
    EXPECT_EQ(events.Events(), std::vector<std::string>{
                                   Msg(16037, kHere, 40, "Writable.I4", std::to_string(value).c_str(), off.c_str())});
    EXPECT_EQ(WriteTransactions(), 0) << "the server was never asked";
    EXPECT_EQ(ValueOnServer(), before);
    EXPECT_EQ(ForwardingCounters::Read(dataServer->Counters().refusedWrites), 1u);
}

TEST_F(ServerPolicy, WithWritesListedOnlyTheListedPeersWriteReachesTheServer) {
    ForwardingSettings settings;
    settings.writes = LinkWrites::kListed;
    settings.writers = AddressList::Parse(kOther).list;
    Start(settings);
    auto here = Connect(kHere);
    auto other = Connect(kOther);
    WriteFrom(*here, 1111);
    WriteFrom(*other, 2222);
    ASSERT_TRUE(events.WaitForMatching("Asynchronous 1.0 write transaction ", "(HR = 00000000)."));

    const std::string notListed = Tr("对端不在写入名单中", "the peer is not on the write list");
    const std::vector<std::string> all = events.Events();
    EXPECT_EQ(std::count(all.begin(), all.end(), Msg(16037, kHere, 40, "Writable.I4", "1111", notListed.c_str())), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), Msg(15026, kOther, 40, "Writable.I4", "2222", 0u)), 1);
    EXPECT_EQ(WriteTransactions(), 1);
    EXPECT_EQ(ValueOnServer(), "2222");
}

TEST_F(ServerPolicy, EveryWriteIsOneLineWithThePeerTheItemTheValueAndTheResult) {
    Start({});  // writes on, as always
    auto peer = Connect(kOther);
    ASSERT_TRUE(peer->Send(
        Concat({WriteRequestBytes(40, 6, I4Bytes(-5)), WriteRequestBytes(42, 3, {9}), WriteRequestBytes(49, 3, {1})})));
    ASSERT_TRUE(WaitFor([&] { return ForwardingCounters::Read(dataServer->Counters().writes) == 3; }));
    ASSERT_TRUE(events.WaitForMatching("Asynchronous 1.0 write transaction ", "(HR = 00000000)."));

    const std::vector<std::string> all = events.Events();
    const auto has = [&](const std::string& line) { return std::count(all.begin(), all.end(), line) == 1; };
    EXPECT_TRUE(has(Msg(15026, kOther, 40, "Writable.I4", "-5", 0u)));
    // An item of a group on the 2.0 callback cannot take a 1.0 write: the call's failure.
    EXPECT_TRUE(has(Msg(16038, kOther, 42, "Writable.UI1", "9", 0x80040200u)));
    EXPECT_TRUE(has(Msg(16039, kOther, 49, "1")));
    EXPECT_EQ(ValueOnServer(), "-5");
    EXPECT_EQ(ForwardingCounters::Read(dataServer->Counters().refusedWrites), 0u);
}

TEST_F(ServerPolicy, NewSettingsTakeConnectedPeersAndTheListenerAtOnce) {
    Start({});
    const std::uint16_t oldPort = dataServer->Port();
    auto here = Connect(kHere);
    auto other = Connect(kOther);

    ForwardingSettings settings;
    settings.port = 0;  // another free port
    settings.allowed = AddressList::Parse("127.0.0.2").list;
    ASSERT_TRUE(dataServer->ApplySettings(settings));
    EXPECT_TRUE(here->WaitClosed()) << "no longer on the list";
    EXPECT_EQ(events.CountOf(Msg(16035, kHere)), 1);
    ASSERT_TRUE(other->Send(ReadRequestBytes(0, 0)));
    EXPECT_EQ(other->ReadFrame(), ReplyBytes(0, {})) << "a listed peer stays";

    EXPECT_NE(dataServer->Port(), oldPort);
    Peer late(oldPort, 0, kOther);
    EXPECT_TRUE(late.WaitClosed()) << "nobody listens on the old port";
    auto moved = std::make_unique<Peer>(dataServer->Port(), 0, kOther);
    EXPECT_TRUE(WaitFor([&] { return dataServer->ConnectionCount() == 2; }));
}

TEST_F(ServerPolicy, TheStatusFiguresCountPeersRequestsWritesAndRefusals) {
    ForwardingSettings settings;
    settings.writes = LinkWrites::kOff;
    Start(settings);
    GatewayStatusSampler sampler;
    const GatewayStatusSampler::Clock::time_point t0{};
    const std::int64_t connecting = ServerStatistics::NowMs();
    auto peer = Connect(kOther);
    const GatewayStatus first = sampler.Sample(dataServer.get(), {&server}, t0);
    EXPECT_EQ(first.requestsPerSecond, 0) << "no rate before a second sample";

    Bytes burst;
    for (int i = 0; i < 10; ++i) burst = Concat({burst, ReadRequestBytes(40, 1)});
    burst = Concat({burst, WriteRequestBytes(40, 6, I4Bytes(1)), WriteRequestBytes(40, 6, I4Bytes(2))});
    ASSERT_TRUE(peer->Send(burst));
    ASSERT_TRUE(WaitFor([&] { return ForwardingCounters::Read(dataServer->Counters().requests) == 12; }));
    const GatewayStatus status = sampler.Sample(dataServer.get(), {&server}, t0 + std::chrono::seconds(2));

    EXPECT_TRUE(status.serving);
    ASSERT_EQ(status.peers.size(), 1u);
    EXPECT_EQ(status.peers[0].address, kOther);
    EXPECT_GE(status.peers[0].connectedSinceMs, connecting);
    EXPECT_DOUBLE_EQ(status.requestsPerSecond, 6.0);
    EXPECT_DOUBLE_EQ(status.writesPerSecond, 1.0);
    EXPECT_EQ(status.refusedWrites, 2u);
    ASSERT_EQ(status.servers.size(), 1u);
    EXPECT_EQ(status.servers[0].name, "Orvane OPC");
    EXPECT_GT(status.servers[0].connectedSinceMs, 0);
    EXPECT_EQ(status.servers[0].reconnects, 0u);

    const std::string line = FormatStatusLine(status);
    EXPECT_NE(line.find("peers=1 [127.0.0.2 since "), std::string::npos) << line;
    EXPECT_NE(line.find("requests/s=6.0 writes/s=1.0 refused_peers=0 refused_writes=2"), std::string::npos) << line;
    EXPECT_NE(line.find("; server 'Orvane OPC' connected_since="), std::string::npos) << line;
}
