// The forwarding port's settings, section "FORWARDING" of OPC.cfg, every key optional:
//   LISTEN_ADDR  the local address listened on; absent: every IPv4 address (as always); "::"
//                takes IPv6 and IPv4 peers
//   PORT         1-65535, default 8890
//   ALLOW        addresses and CIDR ranges of the peers that may connect; absent: everyone
//   WRITES       on (default), off, or listed: only the peers of WRITE_ALLOW may write
//   WRITE_ALLOW  addresses and ranges of the peers that may write when WRITES=listed
//   MAX_PEERS    the most peers connected at once; absent or 0: no limit
// Without the section the data server behaves as it always has. A bad value is reported and
// the key takes its default; a malformed list entry is reported and matches no peer, so a
// list of nothing but typos refuses everyone rather than admitting everyone.
#pragma once

#include "forwarding/address_list.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class LinkWrites { kOn, kOff, kListed };

struct ForwardingSettings {
    static constexpr std::uint16_t kDefaultPort = 8890;

    std::optional<PeerAddress> listenAddress;  // nothing: every IPv4 address
    std::uint16_t port = kDefaultPort;
    std::optional<AddressList> allowed;  // nothing: every peer may connect
    LinkWrites writes = LinkWrites::kOn;
    AddressList writers;    // who may write when writes are kListed
    unsigned maxPeers = 0;  // 0: no limit
};

// What was wrong with the file, for the event log.
struct SettingsProblem {
    enum class Kind {
        kBadValue,      // replaced by the key's default
        kBadEntry,      // a list entry that matches no peer
        kNoValidEntry,  // ALLOW names entries but none is good: every peer is refused
    };
    Kind kind;
    std::string key;
    std::string value;  // the whole value, or the one malformed entry
};

struct ForwardingSettingsRead {
    ForwardingSettings settings;
    std::vector<SettingsProblem> problems;
};

// Reads the section through `lookup` (key -> its value when present).
using SettingLookup = std::function<std::optional<std::string>(const char* key)>;
ForwardingSettingsRead ParseForwardingSettings(const SettingLookup& lookup);
ForwardingSettingsRead ReadForwardingSettings();  // from OPC.cfg
// Logs each problem as an error event.
void ReportSettingsProblems(const std::vector<SettingsProblem>& problems);
// Stores every key; false when OPC.cfg cannot be written.
bool WriteForwardingSettings(const ForwardingSettings& settings);

// The texts of the keys as stored ("on", "off", "listed").
const char* LinkWritesName(LinkWrites writes);
std::optional<LinkWrites> LinkWritesFromName(std::string_view name);

namespace forwarding_keys {
inline constexpr const char* kSection = "FORWARDING";
inline constexpr const char* kListen = "LISTEN_ADDR";
inline constexpr const char* kPort = "PORT";
inline constexpr const char* kAllow = "ALLOW";
inline constexpr const char* kWrites = "WRITES";
inline constexpr const char* kWriteAllow = "WRITE_ALLOW";
inline constexpr const char* kMaxPeers = "MAX_PEERS";
}  // namespace forwarding_keys

// Parses the value of one key given as text; the keys share these with the dialog.
std::optional<std::uint16_t> ParsePort(std::string_view text);
std::optional<unsigned> ParseMaxPeers(std::string_view text);
