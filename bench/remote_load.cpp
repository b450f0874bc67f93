// Load against a server host in another process: starts opcserverd on a free loopback port and
// measures, through the client's proxies,
//   read     one-item synchronous reads over loopback TCP: p50 / p99 / max latency;
//   read-local  the same over this user's Unix socket (opcserverd --local);
//   held     another client's reads while one client's AddItems of every load tag runs;
//   changes  2.0 data changes into the client: item updates per second over 10 s;
//   stall    a client whose data callback never returns: the host's resident memory, sampled
//            every second for 20 s while the host keeps producing changes.
//   floor    no RPC at all: a blocking 128-byte echo between two processes over loopback TCP,
//            the least any read can take on this machine, to read the read figure against.
// Usage: remote_load read|read-local|changes|stall|held|floor [groups]
#include "bench/counting_sink.h"
#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/connection_point.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kItemsPerGroup = 1000;
constexpr unsigned kPort = 18891;

// On TCP port kPort, or on this user's Unix socket when `local`.
pid_t StartHost(unsigned loadTags, bool local) {
    const std::string tags = std::to_string(loadTags);
    const std::string port = std::to_string(kPort);
    const char* tcp[] = {OPCSERVERD_PATH, "--plain-tcp", "--port", port.c_str(), "--load-tags", tags.c_str(), nullptr};
    const char* onSocket[] = {OPCSERVERD_PATH, "--local", "--load-tags", tags.c_str(), nullptr};
    const char* const* argv = local ? onSocket : tcp;
    pid_t child = 0;
    if (posix_spawn(&child, OPCSERVERD_PATH, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return child;
}

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A server object on `host` ("local" or a loopback address) at kPort. Each host name is a
// connection of its own: "127.1" is 127.0.0.1 by another name.
ComPtr<IOPCServer> Connect(const std::string& host) {
    CLSID clsid;
    CLSIDFromProgID(WideFromUtf8(simserver::kDefaultProgId).c_str(), &clsid);
    std::u16string computer = WideFromUtf8(host == "local" ? host : host + ":" + std::to_string(kPort));
    COSERVERINFO where;
    where.pwszName = computer.data();
    MULTI_QI request{&IID_IOPCServer, nullptr, S_OK};
    // A host with many load tags builds their catalogue before it listens.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (FAILED(CoCreateInstanceEx(clsid, nullptr, CLSCTX_REMOTE_SERVER, &where, 1, &request))) {
        if (Clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ComPtr<IOPCServer> server;
    server.attach(static_cast<IOPCServer*>(request.pItf));
    return server;
}

// A group of `count` load tags from `first`, with the server handles of its items.
// The host names its load tags with at least four digits, more when there are over 10,000.
int TagDigits(int tagCount) {
    return tagCount > 10000 ? static_cast<int>(std::to_string(tagCount - 1).size()) : 4;
}

ComPtr<IOPCItemMgt> AddGroup(IOPCServer* server, int index, DWORD rate, int first, int count, int tagCount,
                             std::vector<OPCHANDLE>* handles) {
    OPCHANDLE group = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> items;
    std::u16string name = WideFromUtf8("load" + std::to_string(index));
    if (FAILED(server->AddGroup(name.c_str(), TRUE, rate, static_cast<OPCHANDLE>(index), nullptr, nullptr, 0, &group,
                                &revised, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()))))
        return nullptr;
    std::vector<std::u16string> ids;
    std::vector<OPCITEMDEF> defs(static_cast<std::size_t>(count));
    ids.reserve(defs.size());
    for (int i = 0; i < count; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "Load.T%0*d", TagDigits(tagCount), first + i);
        ids.push_back(WideFromUtf8(id));
        defs[static_cast<std::size_t>(i)].szItemID = ids.back().data();
        defs[static_cast<std::size_t>(i)].bActive = TRUE;
        defs[static_cast<std::size_t>(i)].hClient = static_cast<OPCHANDLE>(i);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    if (FAILED(items->AddItems(static_cast<DWORD>(count), defs.data(), &results, &errors))) return nullptr;
    for (int i = 0; i < count; ++i) handles->push_back(results[i].hServer);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return items;
}

bool Advise(IOPCItemMgt* items, IOPCDataCallback* sink) {
    auto container = ComPtr<IOPCItemMgt>(items).As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    return container && SUCCEEDED(container->FindConnectionPoint(IID_IOPCDataCallback, point.put())) &&
           SUCCEEDED(point->Advise(sink, &cookie));
}

void PrintLatencies(const char* what, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    std::printf("%s: p50 %.1f us, p99 %.1f us, max %.1f us (%zu round trips)\n", what, micros[micros.size() / 2],
                micros[micros.size() * 99 / 100], micros.back(), micros.size());
}

int Read(IOPCServer* server, int tagCount, const char* how) {
    std::vector<OPCHANDLE> handles;
    auto items = AddGroup(server, 0, 1000, 0, 1, tagCount, &handles);
    auto sync = items ? items.As<IOPCSyncIO>(IID_IOPCSyncIO) : nullptr;
    if (!sync) return 1;
    std::vector<double> micros;
    for (int i = 0; i < 20000; ++i) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const auto start = Clock::now();
        const HRESULT hr = sync->Read(OPC_DS_CACHE, 1, handles.data(), &states, &errors);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (FAILED(hr)) return 1;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    PrintLatencies((std::string("one-item synchronous read over ") + how).c_str(), micros);
    return 0;
}

// One client adds every load tag to a group in one call while another client, on a connection
// of its own, reads one item: the reader's latency while the long call runs, and its length.
int Held(int tagCount) {
    ComPtr<IOPCServer> holder = Connect("127.0.0.1");
    ComPtr<IOPCServer> reader = Connect("127.1");
    if (!holder || !reader) return 1;
    std::vector<OPCHANDLE> handles;
    auto items = AddGroup(reader.get(), 0, 1000, 0, 1, tagCount, &handles);
    auto sync = items ? items.As<IOPCSyncIO>(IID_IOPCSyncIO) : nullptr;
    if (!sync) return 1;
    std::atomic<bool> done{false};
    double heldMs = 0;
    std::thread slow([&] {
        const auto start = Clock::now();
        std::vector<OPCHANDLE> all;
        AddGroup(holder.get(), 1, 1000, 0, tagCount, tagCount, &all);
        heldMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        done = true;
    });
    std::vector<double> micros;
    while (!done) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const auto start = Clock::now();
        const HRESULT hr = sync->Read(OPC_DS_CACHE, 1, handles.data(), &states, &errors);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (FAILED(hr)) break;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    slow.join();
    if (micros.empty()) return 1;
    PrintLatencies("another client's one-item reads while one AddItems runs", micros);
    std::printf("the AddItems call of %d items took %.0f ms\n", tagCount, heldMs);
    return done ? 0 : 1;
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
    PrintLatencies("blocking 128-byte echo over loopback TCP between two processes", micros);
    return 0;
}

int Changes(IOPCServer* server, int groups, bool stall, pid_t host) {
    // Callbacks already sent may still arrive after this function returns and its groups are
    // released, so the count outlives it.
    static std::atomic<std::uint64_t> changes{0};
    std::vector<ComPtr<IOPCItemMgt>> keep;
    std::vector<ComPtr<CountingSink>> sinks;
    for (int g = 0; g < groups; ++g) {
        std::vector<OPCHANDLE> handles;
        auto items = AddGroup(server, g, 10, g * kItemsPerGroup, kItemsPerGroup, groups * kItemsPerGroup, &handles);
        sinks.push_back(MakeComObject<CountingSink>(changes, stall));
        if (!items || !Advise(items.get(), sinks.back().get())) return 1;
        keep.push_back(items);
    }
    const int seconds = stall ? 20 : 10;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::uint64_t before = changes.load();
    const auto start = Clock::now();
    for (int s = 0; s < seconds; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (stall) std::printf("t=%2d s  host RSS %ld KiB\n", s + 1, RssKiB(host));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (!stall)
        std::printf("%d groups x %d items at 10 ms: %.2f M item updates/s into the client\n", groups, kItemsPerGroup,
                    static_cast<double>(changes.load() - before) / elapsed / 1e6);
    std::fflush(stdout);
    if (stall) {
        // The stalled callbacks never return, so this process cannot end in order.
        ::kill(host, SIGTERM);
        ::waitpid(host, nullptr, 0);
        _exit(0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int groups = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    if (mode == "floor") return Floor();
    if (mode != "read" && mode != "read-local" && mode != "changes" && mode != "stall" && mode != "held") {
        std::fprintf(stderr, "usage: remote_load read|read-local|changes|stall|held|floor [groups]\n");
        return 2;
    }
    simserver::RegisterSimulationServers();  // the ProgID resolves here; the object is made there
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    const bool local = mode == "read-local";
    const pid_t host = StartHost(static_cast<unsigned>(groups * kItemsPerGroup), local);
    if (host <= 0) return 1;
    int status = 1;
    {
        ComPtr<IOPCServer> server = Connect(local ? "local" : "127.0.0.1");
        if (mode == "held")
            status = Held(groups * kItemsPerGroup);
        else if (server && (mode == "read" || local))
            status = Read(server.get(), groups * kItemsPerGroup, local ? "the Unix socket" : "loopback TCP");
        else if (server)
            status = Changes(server.get(), groups, mode == "stall", host);
    }
    ::kill(host, SIGTERM);
    ::waitpid(host, nullptr, 0);
    return status;
}
