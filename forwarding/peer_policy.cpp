#include "forwarding/peer_policy.h"

#include <algorithm>

PeerPolicy::Admission PeerPolicy::Admit(const PeerAddress& peer, std::size_t connected) const {
    if (settings_.allowed && !settings_.allowed->Contains(peer)) return Admission::kNotListed;
    if (settings_.maxPeers != 0 && connected >= settings_.maxPeers) return Admission::kTooManyPeers;
    return Admission::kAdmitted;
}

PeerPolicy::WriteRight PeerPolicy::MayWrite(const PeerAddress& peer) const {
    switch (settings_.writes) {
    case LinkWrites::kOff: return WriteRight::kWritesOff;
    case LinkWrites::kListed: return settings_.writers.Contains(peer) ? WriteRight::kAllowed : WriteRight::kNotListed;
    case LinkWrites::kOn: break;
    }
    return WriteRight::kAllowed;
}

bool RefusalLog::ShouldLog(const PeerAddress& address, Clock::time_point now) {
    const auto found = lastLogged_.find(address);
    if (found != lastLogged_.end()) {
        if (now - found->second < kInterval) return false;
        found->second = now;
        return true;
    }
    if (lastLogged_.size() >= kRemembered) {
        // Entries a minute old decide nothing any more; if none is, the oldest goes.
        std::erase_if(lastLogged_, [&](const auto& entry) { return now - entry.second >= kInterval; });
        if (lastLogged_.size() >= kRemembered)
            lastLogged_.erase(std::min_element(lastLogged_.begin(), lastLogged_.end(),
                                               [](const auto& a, const auto& b) { return a.second < b.second; }));
    }
    lastLogged_.emplace(address, now);
    return true;
}
