// A server host in the test process, on a free loopback port, with the remote activator
// installed: what the test environments that run suites through the proxies share.
#pragma once

#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <string>

class HostEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        rpc::HostOptions options;
        options.port = 0;
        std::string error;
        ASSERT_TRUE(host_.Start(options, &error)) << error;
        rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    }
    void TearDown() override {
        rpc::UninstallRemoteActivation();
        host_.Stop();
    }

protected:
    // "127.0.0.1:port" of the host.
    std::string ComputerName() const { return "127.0.0.1:" + std::to_string(host_.Port()); }

private:
    rpc::HostServer host_;
};
