// Load against a server host in another process: starts opcserverd and measures, through the
// client's proxies,
//   read     one-item synchronous reads over this user's Unix socket, loopback TCP and loopback
//            TCP with mutual TLS, in turns, in one run: p50 / p99 / max latency of each;
//   held     another client's reads while one client's AddItems on a server that holds every
//            AddItems for 10 s runs (with N thousand items; default 1);
//   changes  2.0 data changes into the client: item updates per second over 10 s;
//   stall    a client whose data callback never returns: the host's resident memory, sampled
//            every second for 20 s while the host keeps producing changes.
//   flood    another client's reads while peers open a thousand connections, send a 64 MiB
//            message and pipeline a million pings without reading an answer: whether any read
//            failed, its latency, and the host's memory;
//   floor    no RPC at all: a blocking 128-byte echo between two processes over loopback TCP,
//            the least any read can take on this machine, to read the read figure against.
// Usage: remote_load read|changes|stall|held|flood|floor [groups]
#include "tests/support/counting_sink.h"
#include "bench/remote_host.h"
#include "platform/com/variant.h"
#include "rpc/remote_activation.h"
#include "tests/rpc/raw_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>

namespace {

using bench::Clock;
constexpr int kItemsPerGroup = 1000;
constexpr unsigned kPort = 18891;
constexpr unsigned kTlsPort = kPort + 2;
constexpr int kHeldMs = 10'000;

std::string Tcp(const char* address, unsigned port = kPort) {
    return std::string(address) + ":" + std::to_string(port);
}

// One-item synchronous reads of a group's first item; false when one fails.
bool TimeReads(IOPCSyncIO* sync, OPCHANDLE handle, int count, std::vector<double>* micros) {
    for (int i = 0; i < count; ++i) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const auto start = Clock::now();
        const HRESULT hr = sync->Read(OPC_DS_CACHE, 1, &handle, &states, &errors);
        micros->push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (FAILED(hr)) return false;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    return true;
}

struct Reader {
    const char* how;
    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> items;
    ComPtr<IOPCSyncIO> sync;
    std::vector<OPCHANDLE> handles;
    std::vector<double> micros;
};

// The three ways to a host, each to a host of its own, read in turns so that the machine's
// moods fall on all three alike.
int Read(int tagCount) {
    const std::string certificates = bench::MakeCertificates();
    if (certificates.empty()) return 1;
    const std::string tags = std::to_string(tagCount);
    std::vector<std::string> tlsHost{"--port", std::to_string(kTlsPort), "--load-tags", tags};
    for (std::string& argument : bench::HostTlsArguments(certificates)) tlsHost.push_back(std::move(argument));
    const pid_t hosts[] = {
        bench::StartHost({"--local", "--load-tags", tags}),
        bench::StartHost({"--plain-tcp", "--port", std::to_string(kPort), "--load-tags", tags}),
        bench::StartHost(tlsHost),
    };
    Reader readers[] = {{"this user's Unix socket", {}, {}, {}, {}, {}},
                        {"loopback TCP", {}, {}, {}, {}, {}},
                        {"loopback TCP with mutual TLS", {}, {}, {}, {}, {}}};
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    readers[0].server = bench::ConnectServer("local");
    readers[1].server = bench::ConnectServer(Tcp("127.0.0.1"));
    rpc::InstallRemoteActivation("", bench::ClientTls(certificates));
    readers[2].server = bench::ConnectServer(Tcp("127.0.0.1", kTlsPort));
    int status = 0;
    for (Reader& reader : readers) {
        if (reader.server)
            reader.items = bench::AddGroup(reader.server.get(), 0, 1000, 0, 1, tagCount, &reader.handles);
        if (reader.items) reader.sync = reader.items.As<IOPCSyncIO>(IID_IOPCSyncIO);
        if (!reader.sync) {
            std::fprintf(stderr, "no server over %s\n", reader.how);
            status = 1;
        }
    }
    for (int round = 0; round < 10 && status == 0; ++round)
        for (Reader& reader : readers)
            if (!TimeReads(reader.sync.get(), reader.handles[0], 2000, &reader.micros)) status = 1;
    if (status == 0)
        for (Reader& reader : readers)
            bench::PrintLatencies((std::string("one-item synchronous read over ") + reader.how).c_str(), reader.micros);
    for (Reader& reader : readers) reader = Reader{};
    rpc::UninstallRemoteActivation();
    for (pid_t host : hosts) bench::StopHost(host);
    std::filesystem::remove_all(certificates);
    return status;
}

// One client's AddItems on a server that holds it for 10 s, while another client, on a
// connection of its own, reads one item of another server of the same host: the reader's
// latency while the call is held, whether any read failed, and how long the call took.
int Held(int tagCount) {
    const pid_t host = bench::StartHost({"--plain-tcp", "--port", std::to_string(kPort), "--load-tags",
                                         std::to_string(tagCount), "--add-items-delay", std::to_string(kHeldMs)});
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    int status = 1;
    {
        ComPtr<IOPCServer> holder = bench::ConnectServer(Tcp("127.0.0.1"), simserver::kSlowProgId);
        ComPtr<IOPCServer> reader = bench::ConnectServer(Tcp("127.1"));
        std::vector<OPCHANDLE> handles;
        auto items = reader ? bench::AddGroup(reader.get(), 0, 1000, 0, 1, tagCount, &handles) : nullptr;
        auto sync = items ? items.As<IOPCSyncIO>(IID_IOPCSyncIO) : nullptr;
        if (holder && sync) {
            std::atomic<bool> done{false};
            bool added = false;
            double heldMs = 0;
            std::thread slow([&] {
                const auto start = Clock::now();
                std::vector<OPCHANDLE> all;
                added = bench::AddGroup(holder.get(), 1, 1000, 0, tagCount, tagCount, &all) != nullptr;
                heldMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                done = true;
            });
            std::vector<double> micros;
            bool failed = false;
            while (!done && !failed) failed = !TimeReads(sync.get(), handles[0], 1, &micros);
            slow.join();
            bench::PrintLatencies("another client's one-item reads while one AddItems is held", micros);
            std::printf("the held AddItems call of %d items took %.0f ms and %s; %s\n", tagCount, heldMs,
                        added ? "succeeded" : "failed", failed ? "a read FAILED" : "no read failed");
            status = added && !failed ? 0 : 1;
        }
    }
    rpc::UninstallRemoteActivation();
    bench::StopHost(host);
    return status;
}

// What a flooding peer does, one after the other; the host's answers are never read.
void Flood(unsigned port) {
    const int greedy = ConnectRaw(port);
    const int small = 4096;
    ::setsockopt(greedy, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::vector<kj::byte> pings = PipelinedPings(1'000'000);
    std::size_t sent = 0;
    while (sent < pings.size()) {
        const ssize_t n = ::send(greedy, pings.data() + sent, pings.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    const int why = errno;
    ::close(greedy);
    std::printf("flood: a million pipelined pings, %zu of %zu bytes taken before the host cut it off (%s)\n", sent,
                pings.size(), std::strerror(why));

    // A message whose first word announces 64 MiB, and then that much.
    const int large = ConnectRaw(port);
    const std::uint32_t header[2] = {0, (64u << 20) / 8};
    std::vector<char> body(std::size_t{64} << 20, 'x');
    sent = ::send(large, header, sizeof header, MSG_NOSIGNAL) == sizeof header ? 0 : body.size();
    while (sent < body.size()) {
        const ssize_t n = ::send(large, body.data() + sent, body.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::close(large);
    std::printf("flood: a 64 MiB message, %zu bytes of it taken before the host closed\n", sent);

    std::vector<int> many;
    for (int i = 0; i < 1000; ++i) many.push_back(ConnectRaw(port));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (int fd : many)
        if (fd >= 0) ::close(fd);
    std::printf("flood: a thousand connections opened and held for 2 s\n");
}

int Flooded() {
    const pid_t host = bench::StartHost({"--plain-tcp", "--port", std::to_string(kPort), "--load-tags", "1000"});
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    int status = 1;
    {
        ComPtr<IOPCServer> reader = bench::ConnectServer(Tcp("127.0.0.1"));
        std::vector<OPCHANDLE> handles;
        auto items = reader ? bench::AddGroup(reader.get(), 0, 1000, 0, 1, 1000, &handles) : nullptr;
        auto sync = items ? items.As<IOPCSyncIO>(IID_IOPCSyncIO) : nullptr;
        if (sync) {
            std::atomic<bool> done{false};
            long peakKiB = 0;
            std::thread flooder([&] {
                Flood(kPort);
                done = true;
            });
            std::vector<double> micros;
            bool failed = false;
            while (!done && !failed) {
                failed = !TimeReads(sync.get(), handles[0], 100, &micros);
                peakKiB = std::max(peakKiB, bench::RssKiB(host));
            }
            flooder.join();
            bench::PrintLatencies("another client's one-item reads during the flood", micros);
            std::printf("%s; host RSS peak %ld MiB\n", failed ? "a read FAILED" : "no read failed", peakKiB / 1024);
            status = failed ? 1 : 0;
        }
    }
    rpc::UninstallRemoteActivation();
    bench::StopHost(host);
    return status;
}

int Floor() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(kPort + 1));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0)
        return 1;
    const pid_t echo = ::fork();
    if (echo == 0) {
        const int peer = ::accept(listener, nullptr, nullptr);
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char buffer[128];
        ssize_t got = 0;
        while ((got = ::read(peer, buffer, sizeof buffer)) > 0)
            if (::write(peer, buffer, static_cast<std::size_t>(got)) != got) break;
        _exit(0);
    }
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char buffer[128] = {};
    std::vector<double> micros;
    for (int i = 0; i < 20000; ++i) {
        const auto start = Clock::now();
        if (::write(client, buffer, sizeof buffer) != sizeof buffer) return 1;
        for (std::size_t got = 0; got < sizeof buffer;) {
            const ssize_t n = ::read(client, buffer + got, sizeof buffer - got);
            if (n <= 0) return 1;
            got += static_cast<std::size_t>(n);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ::close(client);
    ::waitpid(echo, nullptr, 0);
    ::close(listener);
    bench::PrintLatencies("blocking 128-byte echo over loopback TCP between two processes", micros);
    return 0;
}

int Changes(int groups, bool stall) {
    const pid_t host = bench::StartHost(
        {"--plain-tcp", "--port", std::to_string(kPort), "--load-tags", std::to_string(groups * kItemsPerGroup)});
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    ComPtr<IOPCServer> server = bench::ConnectServer(Tcp("127.0.0.1"));
    if (!server) return 1;
    // Callbacks already sent may still arrive after this function returns and its groups are
    // released, so the count outlives it.
    static std::atomic<std::uint64_t> changes{0};
    std::vector<ComPtr<IOPCItemMgt>> keep;
    std::vector<ComPtr<CountingSink>> sinks;
    for (int g = 0; g < groups; ++g) {
        std::vector<OPCHANDLE> handles;
        auto items = bench::AddGroup(server.get(), g, 10, g * kItemsPerGroup, kItemsPerGroup, groups * kItemsPerGroup,
                                     &handles);
        std::function<void()> never;  // a stalled client's sink never returns
        if (stall)
            never = [] {
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
            };
        sinks.push_back(MakeComObject<CountingSink>(changes, never));
        if (!items || !bench::Advise(items.get(), sinks.back().get())) return 1;
        keep.push_back(items);
    }
    const int seconds = stall ? 20 : 10;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::uint64_t before = changes.load();
    const auto start = Clock::now();
    for (int s = 0; s < seconds; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (stall) std::printf("t=%2d s  host RSS %ld KiB\n", s + 1, bench::RssKiB(host));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (!stall)
        std::printf("%d groups x %d items at 10 ms: %.2f M item updates/s into the client\n", groups, kItemsPerGroup,
                    static_cast<double>(changes.load() - before) / elapsed / 1e6);
    std::fflush(stdout);
    // The stalled callbacks never return, so that process cannot end in order; nor is anything
    // left to release in order for the other.
    bench::StopHost(host);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "floor") return Floor();
    if (mode == "read") return Read(60 * kItemsPerGroup);
    if (mode == "flood") return Flooded();
    if (mode == "held") return Held(argc > 2 ? std::max(1, std::atoi(argv[2])) * kItemsPerGroup : kItemsPerGroup);
    if (mode == "changes" || mode == "stall") return Changes(argc > 2 ? std::max(1, std::atoi(argv[2])) : 60, mode == "stall");
    std::fprintf(stderr, "usage: remote_load read|changes|stall|held|flood|floor [groups]\n");
    return 2;
}
