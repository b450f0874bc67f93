// The forwarding settings dialog: labelled fields showing OPC.cfg's values as written, and OK
// that keeps the dialog open at the first field that is not an address, a range or a number
// in its bounds.
#include "ui/forwarding/forwarding_settings_dlg.h"

#include "tests/support/accessible_label.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <map>
#include <string>
#include <vector>

namespace {

class ForwardingSettingsDialog : public ::testing::Test {
protected:
    SettingLookup Stored() {
        return [this](const char* key) -> std::optional<std::string> {
            const auto found = stored.find(key);
            if (found == stored.end()) return std::nullopt;
            return found->second;
        };
    }
    DialogMessageFunction Capture() {
        return [this](QWidget*, const std::string& text) { messages.push_back(text); };
    }

    std::map<std::string, std::string> stored;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(ForwardingSettingsDialog, ShowsTheStoredValuesUnderLabelledFields) {
    CForwardingSettingsDlg empty(nullptr, Stored(), Capture());
    EXPECT_EQ(empty.windowTitle().toStdString(), "转发设置");
    EXPECT_EQ(empty.ListenEdit()->text(), "");
    EXPECT_EQ(empty.PortEdit()->text(), "8890");
    EXPECT_EQ(empty.AllowEdit()->toPlainText(), "");
    EXPECT_EQ(empty.WritesList()->currentIndex(), 0);
    EXPECT_EQ(empty.MaxPeersEdit()->text(), "0");
    EXPECT_EQ(AnnouncedLabel(empty.ListenEdit()), "监听地址：");
    EXPECT_EQ(AnnouncedLabel(empty.PortEdit()), "端口：");
    EXPECT_EQ(AnnouncedLabel(empty.AllowEdit()), "允许连接的对端 (地址或网段)：");
    EXPECT_EQ(AnnouncedLabel(empty.WritesList()), "链路写入：");
    EXPECT_EQ(AnnouncedLabel(empty.WritersEdit()), "可写入的对端 (仅名单时)：");
    EXPECT_EQ(AnnouncedLabel(empty.MaxPeersEdit()), "最多对端数：");

    // A typo in the file is shown as it is, so that OK cannot quietly drop it.
    stored = {{"LISTEN_ADDR", "::"},       {"PORT", "9000"},  {"ALLOW", "10.0.0.0/8, 10.0.0.300"}, {"WRITES", "listed"},
              {"WRITE_ALLOW", "10.0.0.5"}, {"MAX_PEERS", "3"}};
    CForwardingSettingsDlg set(nullptr, Stored(), Capture());
    EXPECT_EQ(set.ListenEdit()->text(), "::");
    EXPECT_EQ(set.PortEdit()->text(), "9000");
    EXPECT_EQ(set.AllowEdit()->toPlainText(), "10.0.0.0/8\n10.0.0.300");
    EXPECT_EQ(set.WritesList()->currentIndex(), 2);
    EXPECT_EQ(set.MaxPeersEdit()->text(), "3");
}

TEST_F(ForwardingSettingsDialog, OkKeepsTheDialogOpenAtTheFirstBadField) {
    struct Case {
        const char* name;
        void (*edit)(CForwardingSettingsDlg&);
        const char* message;
        QWidget* (*focused)(const CForwardingSettingsDlg&);
    };
    const Case cases[] = {
        {"listen address", [](CForwardingSettingsDlg& d) { d.ListenEdit()->setText("eth0"); },
         "“eth0” 不是 IP 地址；留空表示所有 IPv4 地址。",
         [](const CForwardingSettingsDlg& d) -> QWidget* { return d.ListenEdit(); }},
        {"port", [](CForwardingSettingsDlg& d) { d.PortEdit()->setText("0"); },
         "Please enter an integer between 1 and 65535.",
         [](const CForwardingSettingsDlg& d) -> QWidget* { return d.PortEdit(); }},
        {"allow entry", [](CForwardingSettingsDlg& d) { d.AllowEdit()->setPlainText("127.0.0.1\n10.0.0.0/33"); },
         "“10.0.0.0/33” 不是地址或 CIDR 网段 (例如 192.168.1.0/24)。",
         [](const CForwardingSettingsDlg& d) -> QWidget* { return d.AllowEdit(); }},
        {"writer entry", [](CForwardingSettingsDlg& d) { d.WritersEdit()->setPlainText("plc.example"); },
         "“plc.example” 不是地址或 CIDR 网段 (例如 192.168.1.0/24)。",
         [](const CForwardingSettingsDlg& d) -> QWidget* { return d.WritersEdit(); }},
        {"max peers", [](CForwardingSettingsDlg& d) { d.MaxPeersEdit()->setText("-1"); },
         "Please enter an integer between 0 and 100000.",
         [](const CForwardingSettingsDlg& d) -> QWidget* { return d.MaxPeersEdit(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        CForwardingSettingsDlg dialog(nullptr, Stored(), Capture());
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        c.edit(dialog);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << "still open";
        EXPECT_EQ(messages, std::vector<std::string>{c.message});
        EXPECT_EQ(QApplication::focusWidget(), c.focused(dialog));
    }
}

TEST_F(ForwardingSettingsDialog, OkGivesTheSettingsOfTheFields) {
    CForwardingSettingsDlg dialog(nullptr, Stored(), Capture());
    dialog.ListenEdit()->setText(" 127.0.0.1 ");
    dialog.PortEdit()->setText("15890");
    dialog.AllowEdit()->setPlainText("127.0.0.0/8\n::1");
    dialog.WritesList()->setCurrentIndex(2);
    dialog.WritersEdit()->setPlainText("127.0.0.2");
    dialog.MaxPeersEdit()->setText("8");
    dialog.accept();
    EXPECT_TRUE(messages.empty()) << messages.front();
    const ForwardingSettings& s = dialog.Settings();
    EXPECT_EQ(s.listenAddress->ToString(), "127.0.0.1");
    EXPECT_EQ(s.port, 15890);
    EXPECT_EQ(s.allowed->ToString(), "127.0.0.0/8, ::1");
    EXPECT_EQ(s.writes, LinkWrites::kListed);
    EXPECT_EQ(s.writers.ToString(), "127.0.0.2");
    EXPECT_EQ(s.maxPeers, 8u);

    CForwardingSettingsDlg cleared(nullptr, Stored(), Capture());
    cleared.accept();
    EXPECT_FALSE(cleared.Settings().allowed) << "an empty list admits everyone, as without settings";
}
