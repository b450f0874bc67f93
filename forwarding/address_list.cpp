#include "forwarding/address_list.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

constexpr std::uint8_t kV4MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
constexpr int kV4PrefixOffset = 96;  // an IPv4 prefix length counts from bit 96 of the IPv6 form
constexpr std::string_view kSeparators = ", ;\t\r\n";

}  // namespace

std::optional<PeerAddress> PeerAddress::Parse(std::string_view text) {
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
    const std::string terminated(text);
    PeerAddress address;
    in_addr v4{};
    if (::inet_pton(AF_INET, terminated.c_str(), &v4) == 1) {
        std::memcpy(address.bytes_.data(), kV4MappedPrefix, sizeof kV4MappedPrefix);
        std::memcpy(address.bytes_.data() + 12, &v4, 4);
        return address;
    }
    if (::inet_pton(AF_INET6, terminated.c_str(), address.bytes_.data()) == 1) return address;
    return std::nullopt;
}

std::optional<PeerAddress> PeerAddress::FromSocketAddress(const sockaddr* address, std::size_t length) {
    if (!address || length < sizeof(sa_family_t)) return std::nullopt;
    PeerAddress peer;
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        std::memcpy(peer.bytes_.data(), kV4MappedPrefix, sizeof kV4MappedPrefix);
        std::memcpy(peer.bytes_.data() + 12, &v4.sin_addr, 4);
        return peer;
    }
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        std::memcpy(peer.bytes_.data(), &v6.sin6_addr, 16);
        return peer;
    }
    return std::nullopt;
}

bool PeerAddress::IsV4() const { return std::memcmp(bytes_.data(), kV4MappedPrefix, sizeof kV4MappedPrefix) == 0; }

std::string PeerAddress::ToString() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (IsV4())
        ::inet_ntop(AF_INET, bytes_.data() + 12, text, sizeof text);
    else
        ::inet_ntop(AF_INET6, bytes_.data(), text, sizeof text);
    return text;
}

std::optional<AddressRange> AddressRange::Parse(std::string_view text) {
    const std::size_t slash = text.find('/');
    const auto address = PeerAddress::Parse(text.substr(0, slash));
    if (!address) return std::nullopt;
    AddressRange range;
    range.first_ = *address;
    const int offset = address->IsV4() ? kV4PrefixOffset : 0;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        int bits = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || bits < 0 ||
            bits > 128 - offset)
            return std::nullopt;
        range.prefixBits_ = offset + bits;
    }
    return range;
}

bool AddressRange::Contains(const PeerAddress& address) const {
    const auto& a = address.Bytes();
    const auto& b = first_.Bytes();
    const int whole = prefixBits_ / 8;
    if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(whole)) != 0) return false;
    const int rest = prefixBits_ % 8;
    if (rest == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (a[static_cast<std::size_t>(whole)] & mask) == (b[static_cast<std::size_t>(whole)] & mask);
}

std::string AddressRange::ToString() const {
    if (prefixBits_ == 128) return first_.ToString();
    const int bits = first_.IsV4() ? prefixBits_ - kV4PrefixOffset : prefixBits_;
    return first_.ToString() + "/" + std::to_string(bits);
}

AddressList::Parsed AddressList::Parse(std::string_view text) {
    Parsed parsed;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(kSeparators, at);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(text.find_first_of(kSeparators, start), text.size());
        const std::string_view entry = text.substr(start, end - start);
        parsed.hadEntries = true;
        if (const auto range = AddressRange::Parse(entry))
            parsed.list.ranges_.push_back(*range);
        else
            parsed.malformed.emplace_back(entry);
        at = end;
    }
    return parsed;
}

bool AddressList::Contains(const PeerAddress& address) const {
    return std::any_of(ranges_.begin(), ranges_.end(), [&](const AddressRange& r) { return r.Contains(address); });
}

std::string AddressList::ToString() const {
    std::string text;
    for (const AddressRange& range : ranges_) {
        if (!text.empty()) text += ", ";
        text += range.ToString();
    }
    return text;
}
