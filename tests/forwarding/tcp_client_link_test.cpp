// The TCP client link against real sockets on loopback: a listening peer sees the connection
// opened and closed without data; with nothing listening, a bad host or a bad port the link
// reports the failure. Only loopback and names the system refuses itself are used, so no
// lookup leaves the machine.
#include "forwarding/tcp_client_link.h"

#include "platform/files/unique_fd.h"
#include "link_report_recorder.h"
#include "tests/support/loopback_listener.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kConnected = "tcp socket 连接成功！";
constexpr const char* kFailed = "tcp socket 连接失败！！";

}  // namespace

TEST(TcpClientLink, AListeningPeerSeesTheConnectionOpenAndCloseWithoutData) {
    struct Case {
        const char* name;
        int family;
        const char* host;
    };
    const Case cases[] = {
        {"IPv4 literal", AF_INET, "127.0.0.1"},
        {"IPv6 literal", AF_INET6, "::1"},
        {"host name", AF_INET, "localhost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackListener peer(c.family);
        ASSERT_TRUE(peer.Ok());
        LinkReportRecorder reports;
        const auto channel = reports.Channel();
        EXPECT_EQ(RunTcpClientCheck({c.host, peer.Port()}, *channel), 0);
        EXPECT_EQ(reports.Calls(), std::vector<std::string>{kConnected});

        const UniqueFd connection = peer.Accept();
        ASSERT_TRUE(connection);
        EXPECT_EQ(LoopbackListener::ReadUntilClosed(connection), std::optional<std::string>(""));
    }
}

TEST(TcpClientLink, FailuresAreReportedWithoutAConnection) {
    // A port that was free a moment ago and has nobody listening now.
    std::uint16_t closedPort = 0;
    {
        LoopbackListener gone(AF_INET);
        ASSERT_TRUE(gone.Ok());
        closedPort = gone.Port();
    }
    LoopbackListener peer(AF_INET);
    ASSERT_TRUE(peer.Ok());
    struct Case {
        const char* name;
        TcpClientSettings settings;
    };
    const Case cases[] = {
        {"the initial settings", {}},
        {"nothing listening", {"127.0.0.1", closedPort}},
        {"a host name the system refuses", {"bad host!", peer.Port()}},
        // 65536 + the listener's port would reach the listener if the port were cut to 16 bits.
        {"a port above 65535", {"127.0.0.1", 65536u + peer.Port()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkReportRecorder reports;
        const auto channel = reports.Channel();
        EXPECT_EQ(RunTcpClientCheck(c.settings, *channel), -1);
        EXPECT_EQ(reports.Calls(), std::vector<std::string>{kFailed});
    }
    // The port was not cut to 16 bits: nothing reached the listener.
    EXPECT_FALSE(peer.HasPendingConnection());
}

TEST(TcpClientLink, StartRunsTheCheckOnAWorkerWithACopyOfTheSettings) {
    LoopbackListener peer(AF_INET);
    ASSERT_TRUE(peer.Ok());
    LinkReportRecorder reports;
    CTcpClientLink link(reports.Channel());
    link.SetSettings({"127.0.0.1", peer.Port()});
    ASSERT_TRUE(link.Start());
    link.SetSettings({});  // the running worker keeps the settings it started with
    ASSERT_TRUE(reports.WaitForCount(2));
    EXPECT_EQ(reports.Calls(), (std::vector<std::string>{kConnected, "finished 0"}));
    const UniqueFd connection = peer.Accept();
    ASSERT_TRUE(connection);
    EXPECT_EQ(LoopbackListener::ReadUntilClosed(connection), std::optional<std::string>(""));

    // The initial settings fail on a second worker.
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(reports.WaitForCount(4));
    EXPECT_EQ(reports.Calls(), (std::vector<std::string>{kConnected, "finished 0", kFailed, "finished -1"}));
}

TEST(TcpClientLink, AClosedChannelDropsTheReportsOfAWorkerStillRunning) {
    LinkReportRecorder reports;
    const auto channel = reports.Channel();
    channel->Close();
    channel->TcpClientReport(kFailed);
    channel->Finished(-1);
    channel->Beep();
    EXPECT_TRUE(reports.Calls().empty());
}
