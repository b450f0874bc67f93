// Runs the server conformance tests through the proxies: a server host in this process, on a
// free loopback port, and every server created on it by its computer name.
#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "tests/simserver/server_test_support.h"

#include <gtest/gtest.h>

namespace {

class ServerHostEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        rpc::HostOptions options;
        options.port = 0;
        std::string error;
        ASSERT_TRUE(host_.Start(options, &error)) << error;
        rpc::InstallRemoteActivation("");
        simserver::test::gServerComputer = u"127.0.0.1:" + WideFromUtf8(std::to_string(host_.Port()));
    }
    void TearDown() override {
        rpc::UninstallRemoteActivation();
        host_.Stop();
    }

private:
    rpc::HostServer host_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ServerHostEnvironment);

}  // namespace
