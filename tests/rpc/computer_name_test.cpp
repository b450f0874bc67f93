#include "rpc/host_server.h"
#include "rpc/remote_activation.h"

#include <gtest/gtest.h>

namespace {

TEST(ComputerName, SplitsHostAndPortOrRefusesTheName) {
    struct Case {
        const char* name;
        bool ok;
        const char* host;
        unsigned port;
    };
    const Case cases[] = {
        {"plant-a", true, "plant-a", rpc::kDefaultHostPort},
        {"10.0.0.5:9000", true, "10.0.0.5", 9000},
        {"[::1]:8899", true, "::1", 8899},
        {"[fe80::1]", true, "fe80::1", rpc::kDefaultHostPort},
        {"fe80::1", true, "fe80::1", rpc::kDefaultHostPort},  // a bare IPv6 address has no port
        {"host:", false, "", 0},
        {":8891", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:12x", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]x", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string host;
        unsigned port = 0;
        EXPECT_EQ(rpc::ParseComputerName(c.name, &host, &port), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(host, c.host) << c.name;
        EXPECT_EQ(port, c.port) << c.name;
    }
}

}  // namespace
