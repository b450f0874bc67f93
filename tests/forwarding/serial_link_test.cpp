// The serial link against real devices: a socat pseudo-terminal pair whose line settings stty
// reads back while the link holds the port, and the ways opening fails (a missing device, a
// regular file, a port another program holds).
#include "forwarding/serial_link.h"

#include "peer.h"
#include "link_report_recorder.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <QSerialPort>
#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kInitFailed = "message 初始化串口错误！";

bool Has(const std::string& stty, const std::string& part) { return stty.find(part) != std::string::npos; }

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();  // the port object needs the thread's event dispatcher
        ASSERT_TRUE(pair.Ok());
    }
    PtyPair pair;
    LinkReportRecorder reports;
};

}  // namespace

TEST_F(SerialLink, TheLineSettingsAndTimeoutsHoldWhileThePortIsOpen) {
    struct Case {
        std::uint32_t baud;
        std::uint8_t stopBits;
        const char* speed;
        const char* stop;
    };
    const Case cases[] = {{19200, 2, "speed 19200 baud", " cstopb"}, {300, 0, "speed 300 baud", "-cstopb"}};
    const std::string before = SttySettings(pair.First());
    ASSERT_FALSE(before.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        const SerialSettings settings{pair.First(), c.baud, 8, 0, c.stopBits};
        SerialPortError error;
        std::string whileOpen;
        const auto channel = reports.Channel();
        EXPECT_EQ(RunSerialPortCheck(settings, *channel, error, [&] { whileOpen = SttySettings(pair.First()); }), 0);
        EXPECT_TRUE(reports.Calls().empty());
        EXPECT_TRUE(Has(whileOpen, c.speed)) << whileOpen;
        EXPECT_TRUE(Has(whileOpen, c.stop)) << whileOpen;
        EXPECT_TRUE(Has(whileOpen, "cs8")) << whileOpen;
        EXPECT_TRUE(Has(whileOpen, "-parenb")) << whileOpen;
        EXPECT_TRUE(Has(whileOpen, "min = 0; time = 16;")) << whileOpen;  // reads wait 1600 ms at most
        // Released, the device has the settings it had before the check.
        EXPECT_EQ(SttySettings(pair.First()), before);
    }
}

TEST_F(SerialLink, SettingsTheDeviceRefusesShowSetCommStatError) {
    // A pseudo-terminal carries 8 data bits without parity, and no terminal has 1.5 stop bits.
    const SerialSettings cases[] = {
        {pair.First(), 9600, 7, 0, 0},
        {pair.First(), 9600, 8, 2, 0},
        {pair.First(), 9600, 8, 0, 1},
    };
    for (const SerialSettings& settings : cases) {
        SCOPED_TRACE(std::to_string(settings.dataBits) + " data bits, parity " + std::to_string(settings.parity) +
                     ", stop bits " + std::to_string(settings.stopBits));
        LinkReportRecorder refused;
        const auto channel = refused.Channel();
        SerialPortError error;
        EXPECT_EQ(RunSerialPortCheck(settings, *channel, error), -1);
        EXPECT_EQ(refused.Calls(), (std::vector<std::string>{"message SetCommStat Error ", kInitFailed}));
        EXPECT_NE(error.code, 0u);
    }
}

TEST_F(SerialLink, APortThatCannotBeOpenedBeepsThenShowsTheInitialisationError) {
    QTemporaryDir folder;
    const std::string regularFile = folder.filePath(QStringLiteral("not-a-port")).toStdString();
    std::ofstream(regularFile) << "data";
    QSerialPort other(QString::fromStdString(pair.Second()));  // another program holds this one
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    const std::string cases[] = {"", "/dev/ttyNOSUCHPORT9", regularFile, "/dev/null", pair.Second()};
    for (const std::string& port : cases) {
        SCOPED_TRACE(port);
        LinkReportRecorder failed;
        const auto channel = failed.Channel();
        SerialPortError error;
        EXPECT_EQ(RunSerialPortCheck({port}, *channel, error), -1);
        EXPECT_EQ(failed.Calls(), (std::vector<std::string>{"beep", kInitFailed}));
    }
    // Neither the held port nor the file was changed.
    EXPECT_TRUE(other.isOpen());
    std::string contents;
    std::getline(std::ifstream(regularFile), contents);
    EXPECT_EQ(contents, "data");
}

TEST_F(SerialLink, StartRunsTheCheckOnAWorkerAndKeepsTheLastError) {
    CSerialLink link(reports.Channel());
    EXPECT_EQ(link.Settings().portName, "");
    EXPECT_EQ(link.Settings().baudRate, 9600u);
    link.SetSettings({pair.First(), 38400, 8, 0, 0});
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(reports.WaitForCount(1));
    EXPECT_EQ(reports.Calls(), std::vector<std::string>{"finished 0"});
    EXPECT_EQ(link.LastError().code, 0u);

    link.SetSettings({"/dev/ttyNOSUCHPORT9"});
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(reports.WaitForCount(4));
    EXPECT_EQ(reports.Calls(), (std::vector<std::string>{"finished 0", "beep", kInitFailed, "finished -1"}));
    EXPECT_EQ(link.LastError().code, static_cast<std::uint32_t>(QSerialPort::DeviceNotFoundError));
}
