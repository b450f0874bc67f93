#include "forwarding/forwarding_settings.h"

#include "platform/config/opc_config.h"
#include "platform/shell/shell.h"

#include <strings.h>
#include <charconv>

namespace {

namespace k = forwarding_keys;

constexpr unsigned kMostPeers = 100000;

template <class T>
std::optional<T> ParseNumber(std::string_view text, T minimum, T maximum) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::uint16_t> ParsePort(std::string_view text) { return ParseNumber<std::uint16_t>(text, 1, 65535); }

std::optional<unsigned> ParseMaxPeers(std::string_view text) { return ParseNumber<unsigned>(text, 0, kMostPeers); }

const char* LinkWritesName(LinkWrites writes) {
    switch (writes) {
    case LinkWrites::kOff: return "off";
    case LinkWrites::kListed: return "listed";
    case LinkWrites::kOn: break;
    }
    return "on";
}

std::optional<LinkWrites> LinkWritesFromName(std::string_view name) {
    for (LinkWrites writes : {LinkWrites::kOn, LinkWrites::kOff, LinkWrites::kListed}) {
        const char* known = LinkWritesName(writes);
        if (name.size() == std::char_traits<char>::length(known) && ::strncasecmp(name.data(), known, name.size()) == 0)
            return writes;
    }
    return std::nullopt;
}

ForwardingSettingsRead ParseForwardingSettings(const SettingLookup& lookup) {
    ForwardingSettingsRead read;
    ForwardingSettings& s = read.settings;
    using Kind = SettingsProblem::Kind;
    const auto value = [&](const char* key) -> std::optional<std::string> {
        std::optional<std::string> text = lookup(key);
        if (text && text->empty()) return std::nullopt;  // an empty value is an absent one
        return text;
    };
    // Reads a scalar key: a value that does not parse is reported and leaves the default.
    const auto scalar = [&](const char* key, auto parse, auto& target) {
        const std::optional<std::string> text = value(key);
        if (!text) return;
        if (auto parsed = parse(*text))
            target = *parsed;
        else
            read.problems.push_back({Kind::kBadValue, key, *text});
    };
    const auto list = [&](const char* key) {
        AddressList::Parsed parsed = AddressList::Parse(value(key).value_or(std::string()));
        for (std::string& entry : parsed.malformed) read.problems.push_back({Kind::kBadEntry, key, std::move(entry)});
        return parsed;
    };

    scalar(
        k::kListen, [](const std::string& t) { return PeerAddress::Parse(t); }, s.listenAddress);
    scalar(
        k::kPort, [](const std::string& t) { return ParsePort(t); }, s.port);
    scalar(
        k::kWrites, [](const std::string& t) { return LinkWritesFromName(t); }, s.writes);
    scalar(
        k::kMaxPeers, [](const std::string& t) { return ParseMaxPeers(t); }, s.maxPeers);
    AddressList::Parsed allowed = list(k::kAllow);
    if (allowed.hadEntries) {
        if (allowed.list.Empty()) read.problems.push_back({Kind::kNoValidEntry, k::kAllow, *value(k::kAllow)});
        s.allowed = std::move(allowed.list);
    }
    s.writers = list(k::kWriteAllow).list;
    return read;
}

ForwardingSettingsRead ReadForwardingSettings() {
    return ParseForwardingSettings([](const char* key) { return ReadConfigValue(k::kSection, key); });
}

void ReportSettingsProblems(const std::vector<SettingsProblem>& problems) {
    for (const SettingsProblem& p : problems) {
        switch (p.kind) {
        case SettingsProblem::Kind::kBadValue:
            LogEvent(IDS_FORWARDING_BAD_VALUE, p.key.c_str(), p.value.c_str());
            break;
        case SettingsProblem::Kind::kBadEntry:
            LogEvent(IDS_FORWARDING_BAD_ENTRY, p.key.c_str(), p.value.c_str());
            break;
        case SettingsProblem::Kind::kNoValidEntry:
            LogEvent(IDS_FORWARDING_NO_VALID_ENTRY, p.key.c_str(), p.value.c_str());
            break;
        }
    }
}

bool WriteForwardingSettings(const ForwardingSettings& s) {
    return WriteConfigValues(k::kSection, {
                                              {k::kListen, s.listenAddress ? s.listenAddress->ToString() : ""},
                                              {k::kPort, std::to_string(s.port)},
                                              {k::kAllow, s.allowed ? s.allowed->ToString() : ""},
                                              {k::kWrites, LinkWritesName(s.writes)},
                                              {k::kWriteAllow, s.writers.ToString()},
                                              {k::kMaxPeers, std::to_string(s.maxPeers)},
                                          });
}
