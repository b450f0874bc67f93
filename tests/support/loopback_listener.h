// A listening TCP socket on the loopback address of IPv4 or IPv6, on a free port, for the tests
// of the links that connect out: it accepts a connection and reads what the peer sent until it
// closed, each wait with a deadline.
#pragma once

#include "platform/files/unique_fd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

class LoopbackListener {
public:
    static constexpr int kWaitMs = 10000;

    explicit LoopbackListener(int family) : fd_(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        } else {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        }
        ok_ = fd_ && ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), length) == 0 &&
              ::listen(fd_.get(), 4) == 0 &&
              ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0;
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(address).sin_port);
    }

    bool Ok() const { return ok_; }
    std::uint16_t Port() const { return port_; }

    bool HasPendingConnection() const {
        pollfd readable{fd_.get(), POLLIN, 0};
        return ::poll(&readable, 1, 0) == 1;
    }

    // The next connection, waited for until the deadline.
    UniqueFd Accept() {
        if (!Readable(fd_.get())) return {};
        return UniqueFd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

    // What the peer sent before it closed: nullopt when it did not close in time.
    static std::optional<std::string> ReadUntilClosed(const UniqueFd& connection) {
        std::string received;
        for (;;) {
            if (!Readable(connection.get())) return std::nullopt;
            char buffer[256];
            const ssize_t got = ::recv(connection.get(), buffer, sizeof buffer, 0);
            if (got < 0) return std::nullopt;
            if (got == 0) return received;
            received.append(buffer, static_cast<std::size_t>(got));
        }
    }

private:
    static bool Readable(int fd) {
        pollfd readable{fd, POLLIN, 0};
        return ::poll(&readable, 1, kWaitMs) == 1;
    }

    UniqueFd fd_;
    bool ok_ = false;
    std::uint16_t port_ = 0;
};

