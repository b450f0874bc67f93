#include "ui/forwarding/comm_set_dlg.h"

#include "tests/support/accessible_label.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include <string>
#include <vector>

namespace {

const QStringList kPorts = {QStringLiteral("ttyS0"), QStringLiteral("ttyS1"), QStringLiteral("ttyS2"),
                            QStringLiteral("ttyUSB0")};

class CommSetDialog : public ::testing::Test {
protected:
    DialogMessageFunction Capture() {
        return [this](QWidget*, const std::string& text) { messages.push_back(text); };
    }
    // What OK gives after `choose` set the controls of a dialog opened on `settings`.
    template <typename Choose>
    SerialSettings Accept(const SerialSettings& settings, Choose choose) {
        CCommSetDlg dialog(settings, nullptr, kPorts, Capture());
        choose(dialog);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        return dialog.Settings();
    }
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(CommSetDialog, TheInitialSettingsShowNoPort9600EightDataBitsNoParityAndOneStopBit) {
    CCommSetDlg dialog({}, nullptr, kPorts, Capture());
    EXPECT_EQ(dialog.windowTitle().toStdString(), "串口通讯设置");
    EXPECT_EQ(dialog.PortList()->currentIndex(), -1);
    EXPECT_EQ(dialog.PortList()->currentText(), "");
    EXPECT_EQ(dialog.RateList()->currentText(), "9600");
    EXPECT_EQ(dialog.DataBitsList()->currentText(), "8");
    EXPECT_EQ(dialog.ParityList()->currentText().toStdString(), "无校验");
    EXPECT_EQ(dialog.StopBitsList()->currentText(), "1");
    EXPECT_EQ(dialog.SendPeriodEdit()->text(), "0");
    EXPECT_EQ(dialog.StationEdit()->text(), "0");
    // The lists hold what the dialog always offered; the ports are the machine's.
    const auto entries = [](const QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        return texts.join(QLatin1Char(' ')).toStdString();
    };
    EXPECT_EQ(entries(dialog.PortList()), "ttyS0 ttyS1 ttyS2 ttyUSB0");
    EXPECT_EQ(entries(dialog.RateList()), "300 600 1200 2400 4800 9600 19200 38400");
    EXPECT_EQ(entries(dialog.DataBitsList()), "8 7");
    EXPECT_EQ(entries(dialog.StopBitsList()), "1 1.5 2");
    EXPECT_EQ(entries(dialog.ParityList()), "无校验 奇校验 偶校验");
}

TEST_F(CommSetDialog, EveryFieldIsAnnouncedByItsLabel) {
    CCommSetDlg dialog({}, nullptr, kPorts, Capture());
    const std::pair<QWidget*, const char*> fields[] = {
        {dialog.PortList(), "端口："},         {dialog.RateList(), "速率："},       {dialog.DataBitsList(), "数据位："},
        {dialog.StopBitsList(), "停止位："},   {dialog.ParityList(), "校验位："},   {dialog.SendPeriodEdit(), "发送周期："},
        {dialog.StationEdit(), "DTU站址："},
    };
    for (const auto& [field, label] : fields) EXPECT_EQ(AnnouncedLabel(field), label);
}

TEST_F(CommSetDialog, ListsOpenAtTheSettingsValuesOrWithoutASelection) {
    struct Case {
        const char* name;
        SerialSettings settings;
        int port, rate, dataBits, parity, stopBits;
        const char* portText;
    };
    const Case cases[] = {
        {"a listed port", {"ttyS2", 19200, 7, 2, 2}, 2, 6, 1, 2, 2, "ttyS2"},
        {"a typed device path", {"/dev/pts/7", 300, 8, 1, 1}, -1, 0, 0, 1, 1, "/dev/pts/7"},
        {"names are case-sensitive", {"TTYS0", 38400, 8, 0, 0}, -1, 7, 0, 0, 0, "TTYS0"},
        {"values no list holds", {"ttyS0", 1234, 6, 3, 5}, 0, -1, -1, -1, -1, "ttyS0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCommSetDlg dialog(c.settings, nullptr, kPorts, Capture());
        EXPECT_EQ(dialog.PortList()->currentIndex(), c.port);
        EXPECT_EQ(dialog.PortList()->currentText().toStdString(), c.portText);
        EXPECT_EQ(dialog.RateList()->currentIndex(), c.rate);
        EXPECT_EQ(dialog.DataBitsList()->currentIndex(), c.dataBits);
        EXPECT_EQ(dialog.ParityList()->currentIndex(), c.parity);
        EXPECT_EQ(dialog.StopBitsList()->currentIndex(), c.stopBits);
    }
}

TEST_F(CommSetDialog, OkTakesTheChosenEntriesAndReopeningShowsThem) {
    const SerialSettings chosen = Accept({}, [](CCommSetDlg& d) {
        d.PortList()->setCurrentIndex(2);
        d.RateList()->setCurrentIndex(7);
        d.DataBitsList()->setCurrentIndex(1);
        d.ParityList()->setCurrentIndex(1);
        d.StopBitsList()->setCurrentIndex(2);
    });
    EXPECT_EQ(chosen.portName, "ttyS2");
    EXPECT_EQ(chosen.baudRate, 38400u);
    EXPECT_EQ(chosen.dataBits, 7);
    EXPECT_EQ(chosen.parity, 1);
    EXPECT_EQ(chosen.stopBits, 2);
    CCommSetDlg reopened(chosen, nullptr, kPorts, Capture());
    EXPECT_EQ(reopened.PortList()->currentText(), "ttyS2");
    EXPECT_EQ(reopened.RateList()->currentText(), "38400");
    EXPECT_EQ(reopened.DataBitsList()->currentText(), "7");
    EXPECT_EQ(reopened.ParityList()->currentText().toStdString(), "奇校验");
    EXPECT_EQ(reopened.StopBitsList()->currentText(), "2");

    EXPECT_EQ(Accept({}, [](CCommSetDlg& d) { d.StopBitsList()->setCurrentIndex(1); }).stopBits, 1);  // "1.5"
    EXPECT_EQ(Accept({}, [](CCommSetDlg& d) { d.DataBitsList()->setCurrentIndex(0); }).dataBits, 8);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CommSetDialog, ATypedPathIsThePortAndAnEmptyFieldKeepsThePort) {
    EXPECT_EQ(Accept({}, [](CCommSetDlg& d) { d.PortList()->setEditText(QStringLiteral(" /dev/pts/4 ")); }).portName,
              "/dev/pts/4");
    EXPECT_EQ(Accept({"ttyUSB0"}, [](CCommSetDlg& d) { d.PortList()->setEditText({}); }).portName, "ttyUSB0");
    // Lists without a selection keep their values too.
    const SerialSettings odd = Accept({"ttyS0", 1234, 6, 3, 5}, [](CCommSetDlg&) {});
    EXPECT_EQ(odd.baudRate, 1234u);
    EXPECT_EQ(odd.dataBits, 6);
    EXPECT_EQ(odd.parity, 3);
    EXPECT_EQ(odd.stopBits, 5);
}

TEST_F(CommSetDialog, ThePeriodAndStationAddressMustBeIntegers) {
    for (QLineEdit* (CCommSetDlg::*field)() const : {&CCommSetDlg::SendPeriodEdit, &CCommSetDlg::StationEdit}) {
        messages.clear();
        CCommSetDlg dialog({"ttyS1"}, nullptr, kPorts, Capture());
        dialog.PortList()->setCurrentIndex(0);
        (dialog.*field)()->setText(QStringLiteral("soon"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(messages, std::vector<std::string>{"Please enter an integer."});
        EXPECT_EQ(dialog.Settings().portName, "ttyS1");  // nothing taken from a refused dialog
    }
}
