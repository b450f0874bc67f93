// The TCP client link against real sockets on loopback: a listening peer sees the connection
// opened and closed without data; with nothing listening, a bad host or a bad port the link
// reports the failure. Only loopback and names the system refuses itself are used, so no
// lookup leaves the machine.
#include "forwarding/tcp_client_link.h"

#include "platform/files/unique_fd.h"
#include "tests/support/loopback_listener.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kConnected = "socket 连接成功！";
constexpr const char* kFailed = "socket 连接失败！！";
constexpr int kWaitMs = 10000;

// The channel's calls as a worker makes them, waited for with a deadline.
class Reports {
public:
    std::shared_ptr<LinkReportChannel> Channel() {
        return std::make_shared<LinkReportChannel>(LinkReportChannel::Receiver{
            .beep = [this] { Add("beep"); },
            .message = [this](const std::string& text) { Add("message " + text); },
            .tcpClientReport = [this](const std::string& text) { Add(text); },
            .finished = [this](int result) { Add("finished " + std::to_string(result)); },
        });
    }
    // Polls rather than waits on a condition variable: ThreadSanitizer does not see the lock
    // that a timed wait takes back, and would report the count read after it.
    bool WaitForCount(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Calls().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void Add(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

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
        Reports reports;
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
        Reports reports;
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
    Reports reports;
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
    Reports reports;
    const auto channel = reports.Channel();
    channel->Close();
    channel->TcpClientReport(kFailed);
    channel->Finished(-1);
    channel->Beep();
    EXPECT_TRUE(reports.Calls().empty());
}
