// A peer of the data server for the tests: a non-blocking TCP socket to 127.0.0.1, and a wait
// that keeps the test thread's event loop (where the server runs) turning until a condition
// holds.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

// The application object the server's socket notifier needs; made once per test program.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "forwarding_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// Runs the event loop until `condition` holds; false after `timeout`.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);  // wake to look at the peer sockets
        loop.exec();
    }
    return true;
}

// The descriptors this process has open now.
inline std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

class Peer {
public:
    using Bytes = std::vector<std::uint8_t>;

    // `receiveBuffer` > 0 shrinks the socket's receive buffer (before connecting). `from` binds
    // the socket to another local address first: the whole of 127/8 is this machine, so
    // "127.0.0.2" is a second peer host.
    explicit Peer(std::uint16_t port, int receiveBuffer = 0, const char* from = nullptr) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (fd_ < 0) throw std::runtime_error("socket");
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (from) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            if (::inet_pton(AF_INET, from, &local.sin_addr) != 1 ||
                ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0)
                throw std::runtime_error("bind");
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 && errno != EINPROGRESS)
            throw std::runtime_error("connect");
    }
    ~Peer() { Close(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // Sends everything, letting the server run while the socket is full. False when the
    // connection failed.
    bool Send(const Bytes& bytes) {
        std::size_t sent = 0;
        const bool done = WaitFor([&] {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)
                failed_ = true;
            return sent == bytes.size() || failed_;
        });
        return done && !failed_;
    }

    // The next whole frame from the server (by its length field); empty on time-out or close.
    Bytes ReadFrame() {
        if (!WaitFor([&] { return Pump(), HasFrame() || closed_; })) return {};
        if (!HasFrame()) return {};
        const std::size_t length = FrameLength();
        Bytes frame(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(length));
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(length));
        return frame;
    }

    // Waits until the server has closed the connection (end of stream or reset).
    bool WaitClosed() {
        return WaitFor([&] {
            Pump();
            return closed_;
        });
    }

    // Bytes received but not yet taken as frames.
    std::size_t Unread() {
        Pump();
        return received_.size();
    }

private:
    void Pump() {
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                received_.insert(received_.end(), buffer, buffer + n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)) closed_ = true;
            return;
        }
    }
    std::size_t FrameLength() const { return received_[2] | received_[3] << 8; }
    bool HasFrame() const { return received_.size() >= 5 && received_.size() >= FrameLength(); }

    int fd_ = -1;
    bool failed_ = false;
    bool closed_ = false;
    Bytes received_;
};
