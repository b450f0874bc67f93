#include "ui/forwarding/tcp_client_set_dlg.h"

#include "tests/support/accessible_label.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

class TcpClientSetDialog : public ::testing::Test {
protected:
    DialogMessageFunction Capture() {
        return [this](QWidget*, const std::string& text) { messages.push_back(text); };
    }
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(TcpClientSetDialog, ShowsTheSettingsUnderLabelledFields) {
    CTcpClientSetDlg initial({}, nullptr, Capture());
    EXPECT_EQ(initial.windowTitle().toStdString(), "Tcp客户端设置");
    EXPECT_EQ(initial.HostEdit()->text(), "");
    EXPECT_EQ(initial.PortEdit()->text(), "0");
    EXPECT_EQ(AnnouncedLabel(initial.HostEdit()), "主机IP：");
    EXPECT_EQ(AnnouncedLabel(initial.PortEdit()), "端口号：");

    CTcpClientSetDlg set({"plc-7.example", 502}, nullptr, Capture());
    EXPECT_EQ(set.HostEdit()->text(), "plc-7.example");
    EXPECT_EQ(set.PortEdit()->text(), "502");
}

TEST_F(TcpClientSetDialog, TheHostTakesAtMost59Characters) {
    CTcpClientSetDlg dialog({}, nullptr, Capture());
    QTest::keyClicks(dialog.HostEdit(), QString(70, QLatin1Char('h')));
    EXPECT_EQ(dialog.HostEdit()->text(), QString(59, QLatin1Char('h')));
    dialog.accept();
    EXPECT_EQ(dialog.Settings().host, std::string(59, 'h'));
}

TEST_F(TcpClientSetDialog, OkTakesAPortFrom0To65535AndKeepsTheDialogOpenOtherwise) {
    struct Case {
        const char* port;
        bool accepted;
        const char* message;
    };
    const Case cases[] = {
        {"0", true, ""},
        {"65535", true, ""},
        {" 8890 ", true, ""},
        {"65536", false, "Please enter an integer between 0 and 65535."},
        {"4294967297", false, "Please enter an integer between 0 and 65535."},
        {"-1", false, "Please enter an integer between 0 and 65535."},
        {"port", false, "Please enter an integer."},
        {"", false, "Please enter an integer."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        messages.clear();
        CTcpClientSetDlg dialog({"before", 1}, nullptr, Capture());
        dialog.HostEdit()->setText(" ::1 ");
        dialog.PortEdit()->setText(QString::fromUtf8(c.port));
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(dialog.Settings().host, "::1");
            EXPECT_EQ(dialog.Settings().port, QString::fromUtf8(c.port).trimmed().toUInt());
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{c.message});
            EXPECT_EQ(dialog.Settings().host, "before");  // nothing taken from a refused dialog
            EXPECT_EQ(dialog.Settings().port, 1u);
            EXPECT_TRUE(dialog.PortEdit()->hasSelectedText() || dialog.PortEdit()->text().isEmpty());
        }
    }
}
