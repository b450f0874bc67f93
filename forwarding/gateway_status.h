// The figures of the status window and of the headless status line: the forwarding peers
// with their addresses and since when, requests and writes per second, refused peers and
// writes; per server since when it is connected, updates per second, reconnects and its last
// error. Read from the counters the core keeps; the rates are taken over the time between two
// samples.
#pragma once

#include "forwarding/data_server.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CVServer;

struct ServerStatus {
    std::string name;               // the ProgID, with the computer when it is another
    std::int64_t connectedSinceMs;  // 0: not connected
    double updatesPerSecond;
    std::uint64_t reconnects;
    std::string lastError;  // empty: none yet
    std::int64_t lastErrorMs;
};

struct GatewayStatus {
    bool serving = false;  // the data server listens
    std::vector<CDataServer::PeerInfo> peers;
    double requestsPerSecond = 0;
    double writesPerSecond = 0;
    std::uint64_t refusedPeers = 0;
    std::uint64_t refusedWrites = 0;
    std::vector<ServerStatus> servers;
};

class GatewayStatusSampler {
public:
    using Clock = std::chrono::steady_clock;

    // The figures now. `dataServer` may be null. Call on the data server's thread while the
    // server list stays as it is (the document not busy). The first sample's rates are 0.
    GatewayStatus Sample(const CDataServer* dataServer, const std::vector<const CVServer*>& servers,
                         Clock::time_point now);

private:
    bool sampled_ = false;
    Clock::time_point at_;
    std::uint64_t requests_ = 0;
    std::uint64_t writes_ = 0;
    // Keys only tell one server's count from another's; they are never followed.
    std::map<const CVServer*, std::uint64_t> updates_;
};

// "2026-12-10 17:20:05" in local time; "-" for 0.
std::string FormatStatusTime(std::int64_t unixMs);
// The figures as one line, for the headless program's standard output.
std::string FormatStatusLine(const GatewayStatus& status);
