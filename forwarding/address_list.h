// Peer addresses and the lists of addresses and ranges that the forwarding settings hold
// ("10.0.0.5", "192.168.1.0/24", "::1", "fd00::/8"). Addresses are compared as numbers, never
// as text: every address is kept in its 16-byte IPv6 form, an IPv4 address as ::ffff:a.b.c.d,
// so an IPv4 peer that reaches an IPv6 socket matches the IPv4 entries. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sockaddr;

class PeerAddress {
public:
    PeerAddress() = default;
    // A numeric IPv4 or IPv6 address; nothing for anything else (names, zones, brackets).
    static std::optional<PeerAddress> Parse(std::string_view text);
    // The address of an IPv4 or IPv6 socket address; nothing for other families or a length
    // too short for the family.
    static std::optional<PeerAddress> FromSocketAddress(const sockaddr* address, std::size_t length);

    // An IPv4 address, or an IPv4 address mapped into IPv6.
    bool IsV4() const;
    // "10.0.0.1" for an IPv4 address (mapped ones too), "fd00::1" otherwise.
    std::string ToString() const;
    const std::array<std::uint8_t, 16>& Bytes() const { return bytes_; }

    bool operator==(const PeerAddress& other) const { return bytes_ == other.bytes_; }
    bool operator<(const PeerAddress& other) const { return bytes_ < other.bytes_; }  // orders a map's keys

private:
    std::array<std::uint8_t, 16> bytes_{};
};

// An address with a prefix length in bits of its IPv6 form (an IPv4 "/24" is 96 + 24).
class AddressRange {
public:
    // "address" or "address/prefix" (0-32 for IPv4, 0-128 for IPv6); host bits beyond the
    // prefix are ignored. Nothing when malformed.
    static std::optional<AddressRange> Parse(std::string_view text);

    bool Contains(const PeerAddress& address) const;
    // As it would be written in the settings: "10.0.0.0/8", or the bare address for a whole
    // prefix.
    std::string ToString() const;

private:
    PeerAddress first_;
    int prefixBits_ = 128;
};

class AddressList {
public:
    struct Parsed;
    // Entries separated by commas, semicolons, blanks or line ends. Malformed entries are
    // returned apart, as written; they match no peer.
    static Parsed Parse(std::string_view text);

    bool Contains(const PeerAddress& address) const;
    bool Empty() const { return ranges_.empty(); }
    // The entries, separated by ", ".
    std::string ToString() const;

private:
    std::vector<AddressRange> ranges_;
};

struct AddressList::Parsed {
    AddressList list;
    std::vector<std::string> malformed;
    bool hadEntries = false;  // the text named at least one entry, good or not
};
