// The event log's two link buttons through the main window: the settings dialog opens, OK
// starts the link against a real peer, and the worker's report reaches the views.
#include "mainframe_fixture.h"

#include "docview/view.h"
#include "docview/update_hints.h"
#include "forwarding/serial_link.h"
#include "forwarding/tcp_client_link.h"
#include "platform/strings/command_ids.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/pty_pair.h"
#include "ui/forwarding/comm_set_dlg.h"
#include "ui/forwarding/tcp_client_set_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
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
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
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
