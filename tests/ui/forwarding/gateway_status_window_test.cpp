// The status window over a running data server and a connected server: the peers with their
// addresses, the figures of the counters, each server's row, refreshed by its own timer.
#include "ui/forwarding/gateway_status_window.h"

#include "tests/forwarding/frames.h"
#include "tests/forwarding/peer.h"

#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>

namespace {

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

}  // namespace

TEST(GatewayStatusWindow, ShowsThePeersTheirRequestsAndTheServers) {
    simserver::RegisterSimulationServers();
    CVServer server;
    ASSERT_TRUE(server.Connect());
    CDataServer dataServer(CItemAddressRegistry::Instance());
    ForwardingSettings settings;
    settings.allowed = AddressList::Parse("127.0.0.2").list;
    dataServer.ApplySettings(settings);
    ASSERT_TRUE(dataServer.StartServer(0));
    bool busy = false;
    CGatewayStatusWindow window(
        nullptr, [&] { return &dataServer; },
        [&]() -> std::optional<std::vector<const CVServer*>> {
            if (busy) return std::nullopt;
            return std::vector<const CVServer*>{&server};
        });
    window.show();
    EXPECT_EQ(window.PeerCountLabel()->text(), "0");

    Peer first(dataServer.Port(), 0, "127.0.0.2");
    Peer second(dataServer.Port(), 0, "127.0.0.2");
    Peer refused(dataServer.Port());
    ASSERT_TRUE(refused.WaitClosed());
    for (Peer* peer : {&first, &second})
        ASSERT_TRUE(peer->Send(Concat({ReadRequestBytes(0, 0), ReadRequestBytes(0, 0)})));
    ASSERT_TRUE(WaitFor([&] { return ForwardingCounters::Read(dataServer.Counters().requests) == 4; }));
    // The window's own timer shows them.
    ASSERT_TRUE(
        WaitFor([&] { return window.PeerCountLabel()->text() == "2" && window.Shown().requestsPerSecond > 0; }));
    EXPECT_EQ(window.RequestRateLabel()->text(), QString::number(window.Shown().requestsPerSecond, 'f', 1));
    ASSERT_EQ(window.PeerTable()->rowCount(), 2);
    EXPECT_EQ(Cell(window.PeerTable(), 0, 0), "127.0.0.2");
    EXPECT_EQ(Cell(window.PeerTable(), 1, 0), "127.0.0.2");
    EXPECT_EQ(window.Shown().refusedPeers, 1u);

    ASSERT_EQ(window.ServerTable()->rowCount(), 1);
    EXPECT_EQ(Cell(window.ServerTable(), 0, 0), "Orvane OPC");
    EXPECT_EQ(Cell(window.ServerTable(), 0, 1).toStdString(), FormatStatusTime(server.Statistics().ConnectedSinceMs()));
    EXPECT_EQ(Cell(window.ServerTable(), 0, 3), "0");

    // While the project's list changes, the rows shown stay; afterwards the row follows.
    busy = true;
    server.Disconnect();
    window.Refresh();
    EXPECT_EQ(window.ServerTable()->rowCount(), 1);
    busy = false;
    window.Refresh();
    EXPECT_EQ(Cell(window.ServerTable(), 0, 1), "未连接");
}
