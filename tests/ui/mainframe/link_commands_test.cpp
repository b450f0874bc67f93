// The event log's two link buttons through the main window: the settings dialog opens, OK
// starts the link against a real peer, and the worker's report reaches the views. The
// forwarding settings and the gateway status through the menus.
#include "mainframe_fixture.h"

#include "docview/update_hints.h"
#include "docview/view.h"
#include "forwarding/data_server.h"
#include "forwarding/forwarding_settings.h"
#include "forwarding/serial_link.h"
#include "forwarding/tcp_client_link.h"
#include "opc/client/item_address_registry.h"
#include "platform/config/opc_config.h"
#include "platform/strings/command_ids.h"
#include "tests/forwarding/peer.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/pty_pair.h"
#include "ui/forwarding/comm_set_dlg.h"
#include "ui/forwarding/forwarding_settings_dlg.h"
#include "ui/forwarding/gateway_status_window.h"
#include "ui/forwarding/tcp_client_set_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

namespace {

struct HintView : View {
    void OnUpdate(int hint, void*) override { hints.push_back(hint); }
    std::vector<int> hints;
};

// Runs `answer` on the modal dialog of type Dialog as soon as it is up.
template <class Dialog>
void AnswerDialog(std::function<void(Dialog&)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        answer(*dialog);
    });
    poll->start();
}

}  // namespace

TEST_F(MainFrameTest, TheTcpClientButtonConfiguresAndConnectsToAPeer) {
    LoopbackListener peer(AF_INET);
    ASSERT_TRUE(peer.Ok());
    HintView view;
    document_.AddView(&view);
    auto window = MakeWindow();

    // Cancel changes nothing and starts nothing.
    AnswerDialog<CTcpClientSetDlg>([&](CTcpClientSetDlg& dialog) {
        dialog.HostEdit()->setText(QStringLiteral("127.0.0.1"));
        dialog.reject();
    });
    window->DispatchCommand(ID_TCP_CLIENT_SETTINGS);
    EXPECT_EQ(window->TcpClientLink().Settings().host, "");
    EXPECT_FALSE(peer.HasPendingConnection());

    AnswerDialog<CTcpClientSetDlg>([&](CTcpClientSetDlg& dialog) {
        EXPECT_EQ(dialog.HostEdit()->text(), "");
        dialog.HostEdit()->setText(QStringLiteral("127.0.0.1"));
        dialog.PortEdit()->setText(QString::number(peer.Port()));
        dialog.accept();
    });
    window->DispatchCommand(ID_TCP_CLIENT_SETTINGS);
    EXPECT_EQ(window->TcpClientLink().Settings().host, "127.0.0.1");
    EXPECT_EQ(window->TcpClientLink().Settings().port, peer.Port());

    const UniqueFd connection = peer.Accept();
    ASSERT_TRUE(connection);
    EXPECT_EQ(LoopbackListener::ReadUntilClosed(connection), std::optional<std::string>(""));
    ASSERT_TRUE(WaitFor([&] { return !view.hints.empty(); }));
    EXPECT_EQ(view.hints, std::vector<int>{HINT_REPAINT_ALL});
    document_.RemoveView(&view);
}

TEST_F(MainFrameTest, TheSerialButtonChecksTheChosenPortAndShowsItsFailures) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ok());
    auto window = MakeWindow();

    // A missing device: the worker's message box, through the window.
    AnswerDialog<CCommSetDlg>([&](CCommSetDlg& dialog) {
        dialog.PortList()->setEditText(QStringLiteral("/dev/ttyNOSUCHPORT9"));
        dialog.accept();
    });
    window->DispatchCommand(ID_SERIAL_SETTINGS);
    EXPECT_EQ(window->SerialLink().Settings().portName, "/dev/ttyNOSUCHPORT9");
    ASSERT_TRUE(WaitFor([&] { return !messages_.empty(); }));
    EXPECT_EQ(messages_, std::vector<std::string>{"初始化串口错误！"});

    // A device that refuses 7 data bits: two boxes, one after the other.
    messages_.clear();
    AnswerDialog<CCommSetDlg>([&](CCommSetDlg& dialog) {
        dialog.PortList()->setEditText(QString::fromStdString(pair.First()));
        dialog.DataBitsList()->setCurrentIndex(1);
        dialog.accept();
    });
    window->DispatchCommand(ID_SERIAL_SETTINGS);
    ASSERT_TRUE(WaitFor([&] { return messages_.size() == 2; }));
    EXPECT_EQ(messages_, (std::vector<std::string>{"SetCommStat Error ", "初始化串口错误！"}));
}

TEST_F(MainFrameTest, ForwardingSettingsAreStoredAndTakenAtOnceAndTheStatusWindowShowsThePeers) {
    SetConfigFolder(Path(""));
    auto window = MakeWindow();
    ForwardingSettings started;
    started.port = 0;
    ASSERT_TRUE(window->StartDataServer(started, CItemAddressRegistry::Instance()));
    CDataServer& server = *window->DataServer();
    const std::uint16_t port = server.Port();

    AnswerDialog<CForwardingSettingsDlg>([&](CForwardingSettingsDlg& dialog) {
        dialog.PortEdit()->setText(QString::number(port));  // the port listened on: no move
        dialog.AllowEdit()->setPlainText(QStringLiteral("127.0.0.2"));
        dialog.WritesList()->setCurrentIndex(1);
        dialog.accept();
    });
    window->DispatchCommand(ID_FORWARDING_SETTINGS);
    EXPECT_EQ(ReadConfigValue("FORWARDING", "ALLOW"), "127.0.0.2");
    EXPECT_EQ(ReadConfigValue("FORWARDING", "WRITES"), "off");
    EXPECT_EQ(server.Settings().writes, LinkWrites::kOff);
    EXPECT_EQ(server.Port(), port);

    Peer refused(port);
    EXPECT_TRUE(refused.WaitClosed());
    Peer listed(port, 0, "127.0.0.2");
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionCount() == 1; }));

    window->DispatchCommand(ID_GATEWAY_STATUS);
    CGatewayStatusWindow* status = window->GatewayStatusWindow();
    ASSERT_TRUE(status && status->isVisible());
    EXPECT_EQ(status->PeerCountLabel()->text(), "1");
    EXPECT_EQ(status->Shown().refusedPeers, 1u);
    EXPECT_TRUE(messages_.empty());
    SetConfigFolder("");
}
