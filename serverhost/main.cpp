// opcserverd: the server host. Serves the simulation OPC DA servers of its class registry to
// clients in other processes and on other computers, until SIGTERM or SIGINT; then it asks
// every client to let go (IOPCShutdown) before it closes their connections.
#include "rpc/host_loop.h"
#include "rpc/host_server.h"
#include "rpc/local_endpoint.h"
#include "serverhost/host_command_line.h"
#include "simserver/server_registry.h"
#include "simserver/tag_catalogue.h"

#include <csignal>
#include <cstdio>
#include <ctime>

#include <chrono>
#include <memory>
#include <thread>

namespace {

constexpr auto kIdleExit = std::chrono::seconds(10);
constexpr auto kShutdownAnswerWait = std::chrono::seconds(2);
constexpr char16_t kShutdownReason[] = u"The server host is stopping";

const char* const kProgIds[] = {simserver::kDefaultProgId,  simserver::kFlatProgId,
                                simserver::kDa10ProgId,     simserver::kNoBrowseProgId,
                                simserver::kNoServerProgId, simserver::kBrowseFailsProgId,
                                simserver::kSlowProgId};

// Waits for a stop signal; false when `exitWhenIdle` and no client came for a while.
bool WaitForStop(const sigset_t& signals, const rpc::HostServer& server, bool exitWhenIdle) {
    auto idleSince = std::chrono::steady_clock::now();
    const timespec tick{0, 200'000'000};
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &tick) > 0) return true;
        const auto now = std::chrono::steady_clock::now();
        if (server.ConnectionCount() > 0) idleSince = now;
        if (exitWhenIdle && now - idleSince > kIdleExit) return false;
    }
}

void AskClientsToLetGo() {
    std::size_t asked = 0;
    for (const char* progId : kProgIds) asked += simserver::RequestShutdown(progId, kShutdownReason);
    if (asked == 0) return;
    // The requests reach the loop a moment after they are posted; then wait for the answers.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < kShutdownAnswerWait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(100) &&
            rpc::ShutdownCallsInFlight() == 0)
            return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const HostCommandLine line = ParseHostCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "opcserverd: %s\n%s", line.error.c_str(), HostUsage());
        return 2;
    }
    if (line.help) {
        std::fputs(HostUsage(), stdout);
        return 0;
    }
    if (line.version) {
        std::puts("opcserverd " OPC_VERSION);
        return 0;
    }

    // Every thread started from here on leaves the stop signals to sigtimedwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    simserver::RegisterSimulationServers();
    // Built before the first client comes, and kept: every server object shares it, so none
    // makes its client wait for a catalogue of its own.
    std::shared_ptr<const simserver::TagCatalogue> loadTags;
    if (line.loadTags > 0) {
        simserver::SimConfig config;
        config.loadTagCount = line.loadTags;
        simserver::RegisterSimulationServer(simserver::kDefaultProgId, config);
        loadTags = simserver::SharedLoadCatalogue(line.loadTags);
    }

    if (line.addItemsDelayMs > 0) {
        simserver::SimConfig slow;
        slow.loadTagCount = line.loadTags > 0 ? line.loadTags : slow.loadTagCount;
        slow.addItemsHook = [delay = std::chrono::milliseconds(line.addItemsDelayMs)] {
            std::this_thread::sleep_for(delay);
        };
        simserver::RegisterSimulationServer(simserver::kSlowProgId, slow);
    }

    rpc::HostServer server;
    std::string error;
    rpc::HostOptions options = line.host;
    if (line.local) {
        options.localSocket = rpc::LocalSocketPath(&error);
        if (options.localSocket.empty()) {
            std::fprintf(stderr, "opcserverd: cannot serve this user locally: %s\n", error.c_str());
            return 1;
        }
    }
    if (!server.Start(options, &error)) {
        std::fprintf(stderr, "opcserverd: cannot start on %s port %u: %s\n", line.host.listenAddress.c_str(),
                     line.host.port, error.c_str());
        return 1;
    }
    if (line.local)
        std::printf("opcserverd: serving this user on %s\n", options.localSocket.c_str());
    else
        std::printf("opcserverd: serving on %s port %u%s\n", line.host.listenAddress.c_str(), server.Port(),
                    line.plainTcp ? " over plain TCP" : " over mutual TLS");
    if (line.plainTcp)
        std::fprintf(stderr, "opcserverd: WARNING: plain TCP: clients are not authenticated and nothing is "
                             "encrypted; anyone who reaches port %u can use the servers\n",
                     server.Port());
    std::fflush(stdout);

    if (WaitForStop(signals, server, line.exitWhenIdle)) AskClientsToLetGo();
    server.Stop();
    return 0;
}
