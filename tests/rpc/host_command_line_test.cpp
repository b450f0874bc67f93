// The host's command line: clients reach it on this user's socket, over mutual TLS, or over
// plain TCP only when that is asked for by name.
#include "serverhost/host_command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(HostCommandLine, TheWayClientsReachTheHostIsChosenExplicitly) {
    const std::vector<std::string> tls = {"--tls-cert", "h.pem", "--tls-key", "h.key", "--tls-ca", "ca.pem"};
    auto with = [](std::vector<std::string> line, const std::vector<std::string>& more) {
        line.insert(line.end(), more.begin(), more.end());
        return line;
    };
    struct Case {
        std::vector<std::string> arguments;
        bool accepted;
    };
    const Case cases[] = {
        {{}, false},  // no way chosen: not plain TCP by default
        {{"--port", "9000"}, false},
        {{"--local"}, true},
        {{"--plain-tcp"}, true},
        {tls, true},
        {{"--tls-cert", "h.pem", "--tls-key", "h.key"}, false},  // no CA: clients could not be checked
        {with(tls, {"--plain-tcp"}), false},
        {with(tls, {"--local"}), false},
        {{"--local", "--plain-tcp"}, false},
        {{"--help"}, true},
    };
    for (const Case& c : cases) {
        const HostCommandLine line = ParseHostCommandLine(c.arguments);
        EXPECT_EQ(line.error.empty(), c.accepted) << ::testing::PrintToString(c.arguments) << ": " << line.error;
    }
    const HostCommandLine secured = ParseHostCommandLine(tls);
    EXPECT_EQ(secured.host.tls.certificate, "h.pem");
    EXPECT_EQ(secured.host.tls.privateKey, "h.key");
    EXPECT_EQ(secured.host.tls.trustedCa, "ca.pem");
    EXPECT_FALSE(secured.plainTcp);
    EXPECT_NE(std::string(HostUsage()).find("WARNING"), std::string::npos) << "--help warns of plain TCP";
}

}  // namespace
