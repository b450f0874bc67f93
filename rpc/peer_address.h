// Client addresses as the host compares them: 16 bytes, an IPv4 address in its IPv4-mapped IPv6
// form, so that a client that reaches a dual-stack socket over IPv4 (::ffff:10.0.0.5) is the
// same as the entry 10.0.0.5, and the spellings of one IPv6 address are one address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct sockaddr;

using IpAddress = std::array<std::uint8_t, 16>;

// Nothing for a text that is not an IPv4 or IPv6 address.
std::optional<IpAddress> ParseIpAddress(const std::string& text);
// Nothing for a socket address of another family.
std::optional<IpAddress> IpAddressOf(const sockaddr& address);
// The usual text: an IPv4-mapped address as IPv4 ("10.0.0.5"), others as IPv6.
std::string IpAddressText(const IpAddress& address);
