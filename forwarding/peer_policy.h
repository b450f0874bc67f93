// Who may connect to the data server and who may write through it, from the forwarding
// settings, and the rate at which refused peers are logged. GUI thread (the data server's).
#pragma once

#include "forwarding/forwarding_settings.h"

#include <chrono>
#include <cstddef>
#include <map>

class PeerPolicy {
public:
    enum class Admission { kAdmitted, kNotListed, kTooManyPeers };
    enum class WriteRight { kAllowed, kWritesOff, kNotListed };

    explicit PeerPolicy(const ForwardingSettings& settings = {}) : settings_(settings) {}

    // `connected`: the peers connected before this one.
    Admission Admit(const PeerAddress& peer, std::size_t connected) const;
    WriteRight MayWrite(const PeerAddress& peer) const;
    unsigned MaxPeers() const { return settings_.maxPeers; }

private:
    ForwardingSettings settings_;
};

// Says whether a refusal of a peer from `address` is to be logged: once per address per
// minute, so a peer that reconnects in a loop cannot flood the log. Remembers a bounded
// number of addresses; past that the oldest are forgotten (and may be logged again early).
class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kInterval = std::chrono::minutes(1);
    static constexpr std::size_t kRemembered = 4096;

    bool ShouldLog(const PeerAddress& address, Clock::time_point now);

private:
    std::map<PeerAddress, Clock::time_point> lastLogged_;
};
