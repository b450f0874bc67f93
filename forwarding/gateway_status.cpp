#include "forwarding/gateway_status.h"

#include "opc/client/server.h"

#include <cstdio>
#include <ctime>

namespace {

double PerSecond(std::uint64_t before, std::uint64_t now, double seconds) {
    if (seconds <= 0 || now < before) return 0;
    return static_cast<double>(now - before) / seconds;
}

std::string Rate(double perSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", perSecond);
    return text;
}

}  // namespace

GatewayStatus GatewayStatusSampler::Sample(const CDataServer* dataServer, const std::vector<const CVServer*>& servers,
                                           Clock::time_point now) {
    const double seconds = sampled_ ? std::chrono::duration<double>(now - at_).count() : 0;
    GatewayStatus status;
    std::uint64_t requests = 0;
    std::uint64_t writes = 0;
    if (dataServer) {
        const ForwardingCounters& counters = dataServer->Counters();
        status.serving = dataServer->Port() != 0;
        status.peers = dataServer->Peers();
        requests = ForwardingCounters::Read(counters.requests);
        writes = ForwardingCounters::Read(counters.writes);
        status.refusedPeers = ForwardingCounters::Read(counters.refusedPeers);
        status.refusedWrites = ForwardingCounters::Read(counters.refusedWrites);
        status.requestsPerSecond = PerSecond(requests_, requests, seconds);
        status.writesPerSecond = PerSecond(writes_, writes, seconds);
    }
    std::map<const CVServer*, std::uint64_t> updates;
    for (const CVServer* server : servers) {
        const ServerStatistics& figures = server->Statistics();
        const std::uint64_t count = figures.Updates();
        updates[server] = count;
        const auto before = updates_.find(server);
        const ServerStatistics::LastError error = figures.LastErrorRecord();
        status.servers.push_back({
            server->remoteComputer.empty() ? server->progId : server->progId + " (" + server->remoteComputer + ")",
            figures.ConnectedSinceMs(),
            before == updates_.end() ? 0 : PerSecond(before->second, count, seconds),
            figures.Reconnects(),
            error.text,
            error.unixMs,
        });
    }
    sampled_ = true;
    at_ = now;
    requests_ = requests;
    writes_ = writes;
    updates_ = std::move(updates);
    return status;
}

std::string FormatStatusTime(std::int64_t unixMs) {
    if (unixMs == 0) return "-";
    const auto seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, length);
}

std::string FormatStatusLine(const GatewayStatus& s) {
    std::string line = "status: peers=" + std::to_string(s.peers.size());
    if (!s.peers.empty()) {
        line += " [";
        for (std::size_t i = 0; i < s.peers.size(); ++i) {
            if (i > 0) line += ", ";
            line += s.peers[i].address + " since " + FormatStatusTime(s.peers[i].connectedSinceMs);
        }
        line += "]";
    }
    line += " requests/s=" + Rate(s.requestsPerSecond) + " writes/s=" + Rate(s.writesPerSecond) +
            " refused_peers=" + std::to_string(s.refusedPeers) + " refused_writes=" + std::to_string(s.refusedWrites);
    for (const ServerStatus& server : s.servers) {
        line += "; server '" + server.name + "' connected_since=" + FormatStatusTime(server.connectedSinceMs) +
                " updates/s=" + Rate(server.updatesPerSecond) + " reconnects=" + std::to_string(server.reconnects) +
                " last_error=" +
                (server.lastError.empty() ? "-" : FormatStatusTime(server.lastErrorMs) + " " + server.lastError);
    }
    return line;
}
