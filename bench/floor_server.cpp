// The floor for any forwarding server on this machine: answers load_client's read requests
// with no item lookup and no event loop around it. One thread, non-blocking sockets on an
// edge-triggered epoll set, one recv and one send per request; the reply for address k holds
// the VT_I4 value k with good quality, copied from a table built at start. load_compare.sh
// runs it with FLOOR=1, to tell how far the real server is from what the kernel allows.
//
//   floor_server [port=15891] [seconds=60]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kItems = 10000;
constexpr std::size_t kRecordSize = 7;

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

// Appends the reply to a read of `count` addresses from `first` (those past the table are
// left out, as the real server leaves out unregistered addresses).
void AppendReply(const std::vector<std::uint8_t>& records, unsigned first, unsigned count,
                 std::vector<std::uint8_t>& out) {
    const unsigned end = first + count < unsigned(kItems) ? first + count : unsigned(kItems);
    const unsigned taken = first < end ? end - first : 0;
    const std::size_t length = 11 + kRecordSize * taken;
    const std::uint8_t header[7] = {
        0x4D, 0x49, std::uint8_t(length), std::uint8_t(length >> 8), 1, std::uint8_t(taken), std::uint8_t(taken >> 8)};
    out.insert(out.end(), header, header + 7);
    if (taken) {
        const std::uint8_t* from = records.data() + kRecordSize * first;
        out.insert(out.end(), from, from + kRecordSize * taken);
    }
    const std::uint8_t trailer[4] = {0x4E, 0x45, 0, 0};
    out.insert(out.end(), trailer, trailer + 4);
}

}  // namespace

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 15891;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    std::vector<std::uint8_t> records(kRecordSize * kItems);
    for (int k = 0; k < kItems; ++k) {
        std::uint8_t* record = &records[kRecordSize * std::size_t(k)];
        record[0] = std::uint8_t(k), record[1] = std::uint8_t(k >> 8), record[2] = 0x86;
        const std::int32_t value = k;
        std::memcpy(record + 3, &value, 4);
    }

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || listen(listener, 64) < 0) {
        std::perror("floor_server");
        return 1;
    }
    const int epoll = epoll_create1(0);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);
    std::printf("listening 127.0.0.1:%d for %.0f s\n", port, seconds);
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::uint8_t input[4096];
    std::vector<std::uint8_t> output;
    epoll_event events[64];
    while (!stopRequested && std::chrono::steady_clock::now() < deadline) {
        const int count = epoll_wait(epoll, events, 64, 100);
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener) {
                for (int peer; (peer = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
                    setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event added{};
                    added.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
                    added.data.fd = peer;
                    epoll_ctl(epoll, EPOLL_CTL_ADD, peer, &added);
                }
                continue;
            }
            // load_client keeps one 13-byte request in flight, so a read holds whole requests.
            const ssize_t n = recv(fd, input, sizeof input, 0);
            if (n <= 0) {
                if (n == 0 || (errno != EAGAIN && errno != EINTR)) close(fd);
                continue;
            }
            output.clear();
            for (ssize_t at = 0; at + 13 <= n; at += 13)
                AppendReply(records, unsigned(input[at + 5] | input[at + 6] << 8),
                            unsigned(input[at + 7] | input[at + 8] << 8), output);
            if (send(fd, output.data(), output.size(), MSG_NOSIGNAL) != ssize_t(output.size())) close(fd);
        }
    }
    return 0;
}
