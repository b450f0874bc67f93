#include "rpc/peer_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {

IpAddress Mapped(const in_addr& v4) {
    IpAddress address{};
    address[10] = 0xFF;
    address[11] = 0xFF;
    std::memcpy(address.data() + 12, &v4, 4);
    return address;
}

IpAddress FromV6(const in6_addr& v6) {
    IpAddress address{};
    std::memcpy(address.data(), &v6, 16);
    return address;
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(const std::string& text) {
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) return Mapped(v4);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) return FromV6(v6);
    return std::nullopt;
}

std::string IpAddressText(const IpAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const IpAddress v4Prefix = Mapped(in_addr{});
    if (std::memcmp(address.data(), v4Prefix.data(), 12) == 0)
        return ::inet_ntop(AF_INET, address.data() + 12, text, sizeof text) ? text : "";
    return ::inet_ntop(AF_INET6, address.data(), text, sizeof text) ? text : "";
}

std::optional<IpAddress> IpAddressOf(const sockaddr& address) {
    if (address.sa_family == AF_INET) return Mapped(reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    if (address.sa_family == AF_INET6) return FromV6(reinterpret_cast<const sockaddr_in6&>(address).sin6_addr);
    return std::nullopt;
}
