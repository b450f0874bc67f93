// Many clients' servers on one host: opcserverd --load-tags with a million tags, over mutual
// TLS (or plain TCP), and server connections from this process, each of its own connection with
// groups of 1,000 distinct load tags at 1 s, as a project of that many servers would make them.
// Measures the time until every server is connected with its items added and its callbacks
// advised, the item updates per second that arrive, and the host's CPU and resident memory.
// Usage: host_fleet [servers 10] [items per server 100000] [tls|plain] [seconds 10]
#include "tests/support/counting_sink.h"
#include "bench/remote_host.h"
#include "rpc/remote_activation.h"

#include <atomic>
#include <mutex>

namespace {

using bench::Clock;
constexpr unsigned kPort = 18895;
constexpr int kItemsPerGroup = 1000;
constexpr DWORD kRateMs = 1000;

struct Fleet {
    std::mutex mutex;
    std::vector<ComPtr<IOPCServer>> servers;
    std::vector<ComPtr<IOPCItemMgt>> groups;
    std::vector<ComPtr<CountingSink>> sinks;
    std::atomic<int> failed{0};
};

// One client's server on a connection of its own ("127.0.0.N": every name is a connection).
void ConnectOne(Fleet& fleet, int index, int items, int tagCount, std::atomic<std::uint64_t>& changes) {
    ComPtr<IOPCServer> server =
        bench::ConnectServer("127.0.0." + std::to_string(index + 1) + ":" + std::to_string(kPort));
    if (!server) {
        ++fleet.failed;
        return;
    }
    for (int g = 0; g < items / kItemsPerGroup; ++g) {
        std::vector<OPCHANDLE> handles;
        auto group = bench::AddGroup(server.get(), g, kRateMs, index * items + g * kItemsPerGroup, kItemsPerGroup,
                                     tagCount, &handles);
        auto sink = MakeComObject<CountingSink>(changes);
        if (!group || !bench::Advise(group.get(), sink.get())) {
            ++fleet.failed;
            return;
        }
        std::lock_guard lock(fleet.mutex);
        fleet.groups.push_back(group);
        fleet.sinks.push_back(sink);
    }
    std::lock_guard lock(fleet.mutex);
    fleet.servers.push_back(server);
}

}  // namespace

int main(int argc, char** argv) {
    const int servers = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 10) : 10;
    const int items = argc > 2 ? std::max(kItemsPerGroup, std::atoi(argv[2]) / kItemsPerGroup * kItemsPerGroup)
                               : 100'000;
    const bool tls = !(argc > 3 && std::string(argv[3]) == "plain");
    const int seconds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 10;
    const int tagCount = std::max(1'000'000, servers * items);

    const std::string certificates = tls ? bench::MakeCertificates() : std::string();
    if (tls && certificates.empty()) return 1;
    // Every loopback address is a connection of its own, so the host listens on them all and
    // lets in only this computer.
    std::vector<std::string> arguments{"--listen", "0.0.0.0", "--allow", "127.0.0.1", "--port",
                                       std::to_string(kPort), "--load-tags", std::to_string(tagCount),
                                       "--max-clients", "64"};
    if (tls) {
        for (std::string& argument : bench::HostTlsArguments(certificates)) arguments.push_back(std::move(argument));
    } else {
        arguments.push_back("--plain-tcp");
    }
    const pid_t host = bench::StartHost(arguments);
    if (host <= 0) return 1;
    rpc::InstallRemoteActivation("", tls ? bench::ClientTls(certificates) : rpc::HostTransport::PlainTcp());

    // The host builds its catalogue before it listens; the clock starts once it answers.
    const auto hostStart = Clock::now();
    if (!bench::ConnectServer("127.0.0.1:" + std::to_string(kPort))) return 1;
    std::printf("host ready after %.1f s (catalogue of %d load tags), RSS %ld MiB\n",
                std::chrono::duration<double>(Clock::now() - hostStart).count(), tagCount, bench::RssKiB(host) / 1024);

    static std::atomic<std::uint64_t> changes{0};  // callbacks may still come as the process ends
    Fleet fleet;
    const auto start = Clock::now();
    std::vector<std::thread> connecting;
    for (int i = 0; i < servers; ++i)
        connecting.emplace_back([&, i] { ConnectOne(fleet, i, items, tagCount, changes); });
    for (std::thread& thread : connecting) thread.join();
    const double connectSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d servers x %d items over %s: all connected, added and advised in %.1f s%s\n", servers, items,
                tls ? "mutual TLS" : "plain TCP", connectSeconds,
                fleet.failed > 0 ? " (SOME FAILED)" : "");

    std::this_thread::sleep_for(std::chrono::seconds(2));  // past the first full updates
    const std::uint64_t before = changes.load();
    const double hostCpuBefore = bench::CpuSeconds(host);
    const double ownCpuBefore = bench::CpuSeconds(::getpid());
    const auto windowStart = Clock::now();
    long peakKiB = 0;
    for (int s = 0; s < seconds; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peakKiB = std::max(peakKiB, bench::RssKiB(host));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - windowStart).count();
    std::printf("over %.0f s: %.2f M item updates/s into the clients; host %.2f cores, RSS peak %ld MiB; "
                "clients %.2f cores\n",
                elapsed, static_cast<double>(changes.load() - before) / elapsed / 1e6,
                (bench::CpuSeconds(host) - hostCpuBefore) / elapsed, peakKiB / 1024,
                (bench::CpuSeconds(::getpid()) - ownCpuBefore) / elapsed);
    std::fflush(stdout);
    bench::StopHost(host);
    if (!certificates.empty()) std::filesystem::remove_all(certificates);
    _exit(fleet.failed > 0 ? 1 : 0);  // the callbacks' threads are not wound down in order
}
