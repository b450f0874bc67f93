#include "forwarding/tcp_client_link.h"

#include "platform/files/unique_fd.h"
#include "platform/strings/language.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>
#include <thread>

namespace {

constexpr std::uint32_t kMaxPort = 65535;

// One non-blocking connect, waited for until `deadline`; the socket closes on return.
bool ConnectBefore(const addrinfo& address, std::chrono::steady_clock::time_point deadline) {
    const UniqueFd fd(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                               address.ai_protocol));
    if (!fd) return false;
    if (::connect(fd.get(), address.ai_addr, address.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    pollfd writable{fd.get(), POLLOUT, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const int ready = ::poll(&writable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// Tries every address the host has (a name may have IPv6 and IPv4 ones) until one answers.
bool Connect(const TcpClientSettings& settings, std::chrono::milliseconds timeout) {
    if (settings.host.empty() || settings.port > kMaxPort) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(settings.host.c_str(), std::to_string(settings.port).c_str(), &hints, &found) != 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool connected = false;
    for (const addrinfo* address = found; address && !connected; address = address->ai_next)
        connected = ConnectBefore(*address, deadline);
    ::freeaddrinfo(found);
    return connected;
}

}  // namespace

int RunTcpClientCheck(const TcpClientSettings& settings, LinkReportChannel& channel, std::chrono::milliseconds timeout) {
    if (Connect(settings, timeout)) {
        channel.TcpClientReport(Tr("socket 连接成功！", "socket connected!"));
        return 0;
    }
    channel.TcpClientReport(Tr("socket 连接失败！！", "socket connection failed!!"));
    return -1;
}

CTcpClientLink::CTcpClientLink(std::shared_ptr<LinkReportChannel> channel) : channel_(std::move(channel)) {}

bool CTcpClientLink::Start() {
    try {
        // The worker owns what it uses: a copy of the settings and a share of the channel.
        std::thread([settings = settings_, channel = channel_] {
            channel->Finished(RunTcpClientCheck(settings, *channel));
        }).detach();
        return true;
    } catch (const std::system_error&) {
        channel_->Beep();
        return false;
    }
}
