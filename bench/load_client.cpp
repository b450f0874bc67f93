// Closed-loop load on the forwarding data server: C connections, each with one read request of
// N addresses in flight, for D seconds after a warm-up. Every reply is checked against what
// load_server serves (address k holds the VT_I4 value k with good quality). Prints one line:
// requests per second, latency percentiles, this program's CPU share and the errors.
//
//   load_client [-h host] [-p port] [-c conns] [-n addresses] [-a first] [-d seconds]
//               [-w warmup_seconds] [-V]      (-V: check the frame, not the values)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8890;
    int connections = 8;
    int addresses = 125;
    int first = 0;
    double seconds = 5;
    double warmup = 1;
    bool checkValues = true;
};

struct Connection {
    int fd = -1;
    std::uint64_t sentAt = 0;
    std::vector<std::uint8_t> reply;  // one byte more than a reply, to notice a longer one
    std::size_t got = 0;
};

struct Totals {
    std::uint64_t replies = 0;
    std::uint64_t badReplies = 0;
    std::uint64_t failures = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t latencySum = 0;
    std::uint64_t latencyMax = 0;
    std::vector<std::uint32_t> histogram;  // 100 ns buckets
};

constexpr std::uint64_t kBucketNs = 100;
constexpr std::size_t kBuckets = 1'000'000;  // up to 100 ms; slower ones land in the last

std::uint64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1'000'000'000u + std::uint64_t(ts.tv_nsec);
}

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

unsigned U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int opt; (opt = getopt(argc, argv, "h:p:c:n:a:d:w:V")) != -1;) {
        switch (opt) {
        case 'h': o.host = optarg; break;
        case 'p': o.port = std::atoi(optarg); break;
        case 'c': o.connections = std::atoi(optarg); break;
        case 'n': o.addresses = std::atoi(optarg); break;
        case 'a': o.first = std::atoi(optarg); break;
        case 'd': o.seconds = std::atof(optarg); break;
        case 'w': o.warmup = std::atof(optarg); break;
        case 'V': o.checkValues = false; break;
        default: return false;
        }
    }
    return o.port > 0 && o.port < 65536 && o.connections > 0 && o.connections <= 10000 && o.addresses > 0 &&
           o.addresses <= 5000 && o.first >= 0 && o.first + o.addresses <= 65536 && o.seconds > 0 && o.warmup >= 0;
}

class LoadClient {
public:
    explicit LoadClient(const Options& options) : o_(options) {
        const std::uint16_t first = std::uint16_t(o_.first), count = std::uint16_t(o_.addresses);
        request_ = {0x4D,
                    0x49,
                    13,
                    0,
                    1,
                    std::uint8_t(first),
                    std::uint8_t(first >> 8),
                    std::uint8_t(count),
                    std::uint8_t(count >> 8),
                    0x4E,
                    0x45,
                    0,
                    0};
        replySize_ = 11 + 7 * std::size_t(o_.addresses);
        totals_.histogram.assign(kBuckets, 0);
    }

    bool Connect() {
        epoll_ = epoll_create1(0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(o_.port));
        if (inet_pton(AF_INET, o_.host.c_str(), &address.sin_addr) != 1) return false;
        connections_.resize(std::size_t(o_.connections));
        for (Connection& c : connections_) {
            c.fd = socket(AF_INET, SOCK_STREAM, 0);
            if (c.fd < 0 || connect(c.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
                std::fprintf(stderr, "connect %s:%d: %s\n", o_.host.c_str(), o_.port, std::strerror(errno));
                return false;
            }
            const int one = 1;
            setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            c.reply.resize(replySize_ + 1);
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = &c;
            epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
        }
        alive_ = o_.connections;
        return true;
    }

    void Run() {
        const std::uint64_t start = startedAt_ = NowNs();
        measureFrom_ = start + std::uint64_t(o_.warmup * 1e9);
        measureTo_ = measureFrom_ + std::uint64_t(o_.seconds * 1e9);
        for (Connection& c : connections_) Send(c);
        std::vector<epoll_event> events(connections_.size());
        double cpuAtStart = -1;
        for (;;) {
            const std::uint64_t now = NowNs();
            if (cpuAtStart < 0 && now >= measureFrom_) cpuAtStart = CpuSeconds();
            if (now >= measureTo_ || alive_ == 0) break;
            const int n = epoll_wait(epoll_, events.data(), int(events.size()), 50);
            for (int i = 0; i < n; ++i) Receive(*static_cast<Connection*>(events[i].data.ptr));
        }
        stoppedAt_ = NowNs();
        cpuUsed_ = cpuAtStart < 0 ? 0 : CpuSeconds() - cpuAtStart;
        for (Connection& c : connections_) {
            if (c.fd < 0) continue;
            if (stoppedAt_ - c.sentAt > 1'000'000'000u) ++totals_.timeouts;  // unanswered for 1 s
            close(c.fd);
        }
    }

    int Report() const {
        const std::uint64_t end = stoppedAt_ < measureTo_ ? stoppedAt_ : measureTo_;
        const double window = end > measureFrom_ ? double(end - measureFrom_) / 1e9 : 1e-9;
        const std::uint64_t errors = totals_.badReplies + totals_.failures + totals_.timeouts;
        const std::uint64_t n = totals_.replies;
        std::printf(
            "conns=%d items=%d window_s=%.3f replies=%llu requests_per_s=%.0f mean_us=%.1f p50_us=%.1f "
            "p99_us=%.1f max_us=%.1f client_cpu_pct=%.0f errors=%llu bad_replies=%llu "
            "conn_failures=%llu timeouts=%llu\n",
            o_.connections, o_.addresses, window, (unsigned long long)n, double(n) / window,
            n ? double(totals_.latencySum) / 1e3 / double(n) : 0.0, Percentile(0.50), Percentile(0.99),
            double(totals_.latencyMax) / 1e3, 100.0 * cpuUsed_ / window, (unsigned long long)errors,
            (unsigned long long)totals_.badReplies, (unsigned long long)totals_.failures,
            (unsigned long long)totals_.timeouts);
        return errors ? 1 : 0;
    }

private:
    // `why` names what failed; the first failure is reported with its time and errno.
    void Fail(Connection& c, const char* why) {
        if (totals_.failures == 0)
            std::fprintf(stderr, "first connection failure after %.3f s: %s: %s\n", double(NowNs() - startedAt_) / 1e9,
                         why, errno ? std::strerror(errno) : "closed by the server");
        close(c.fd);
        c.fd = -1;
        ++totals_.failures;
        --alive_;
    }

    void Send(Connection& c) {
        c.got = 0;
        c.sentAt = NowNs();
        if (send(c.fd, request_.data(), request_.size(), MSG_NOSIGNAL) != ssize_t(request_.size())) Fail(c, "send");
    }

    void Receive(Connection& c) {
        if (c.fd < 0) return;
        const ssize_t n = recv(c.fd, c.reply.data() + c.got, c.reply.size() - c.got, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n == 0) errno = 0;
        if (n <= 0) return Fail(c, "recv");
        c.got += std::size_t(n);
        if (c.got < 5) return;
        const std::size_t length = U16(c.reply.data() + 2);
        if (c.got > length || length != replySize_) {  // a closed loop has one reply in flight
            ++totals_.badReplies;
            errno = 0;
            return Fail(c, "reply of the wrong length");
        }
        if (c.got < length) return;

        const std::uint64_t now = NowNs();
        const bool good = ReplyIsRight(c.reply);
        if (!good) ++totals_.badReplies;
        if (good && c.sentAt >= measureFrom_ && now <= measureTo_) {
            const std::uint64_t latency = now - c.sentAt;
            const std::uint64_t bucket = latency / kBucketNs;
            ++totals_.histogram[bucket < kBuckets ? bucket : kBuckets - 1];
            totals_.latencySum += latency;
            if (latency > totals_.latencyMax) totals_.latencyMax = latency;
            ++totals_.replies;
        }
        Send(c);
    }

    bool ReplyIsRight(const std::vector<std::uint8_t>& r) const {
        const std::size_t end = replySize_ - 4;
        if (r[0] != 0x4D || r[1] != 0x49 || r[4] != 1 || U16(&r[5]) != unsigned(o_.addresses) || r[end] != 0x4E ||
            r[end + 1] != 0x45 || r[end + 2] != 0 || r[end + 3] != 0)
            return false;
        for (int k = 0; k < o_.addresses; ++k) {
            const std::uint8_t* record = &r[7 + 7 * std::size_t(k)];
            const unsigned address = unsigned(o_.first + k) & 0xFFFF;
            if (U16(record) != address || record[2] != 0x86) return false;
            std::int32_t value;
            std::memcpy(&value, record + 3, 4);
            if (o_.checkValues && value != std::int32_t(o_.first + k)) return false;
        }
        return true;
    }

    double Percentile(double p) const {
        if (totals_.replies == 0) return 0;
        const auto wanted = std::uint64_t(p * double(totals_.replies) + 0.999999);
        std::uint64_t seen = 0;
        for (std::size_t b = 0; b < kBuckets; ++b)
            if ((seen += totals_.histogram[b]) >= wanted) return double((b + 1) * kBucketNs) / 1e3;
        return double(totals_.latencyMax) / 1e3;
    }

    Options o_;
    std::vector<std::uint8_t> request_;
    std::size_t replySize_;
    std::vector<Connection> connections_;
    int epoll_ = -1;
    int alive_ = 0;
    std::uint64_t startedAt_ = 0, measureFrom_ = 0, measureTo_ = 0, stoppedAt_ = 0;
    double cpuUsed_ = 0;
    Totals totals_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [-h host] [-p port] [-c conns] [-n addresses<=5000] [-a first] [-d seconds] "
                     "[-w warmup] [-V]\n",
                     argv[0]);
        return 2;
    }
    LoadClient client(options);
    if (!client.Connect()) return 1;
    client.Run();
    return client.Report();
}
