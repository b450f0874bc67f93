// Runs the client's connection and I/O tests through the proxies: a server host in this
// process on a free loopback port, named by OPC.cfg as the host of every server connection
// that names no computer, exactly as an operator would set it.
#include "platform/config/ini_file.h"
#include "platform/config/opc_config.h"
#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class ClientHostEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        rpc::HostOptions options;
        options.port = 0;
        std::string error;
        ASSERT_TRUE(host_.Start(options, &error)) << error;
        rpc::InstallRemoteActivation("");
        char pattern[] = "/tmp/opc-remote-client-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        SetConfigFolder(folder_);
        ini::WriteValue(GetConfigFilePath(), "CONFIG", "SERVER_HOST", "127.0.0.1:" + std::to_string(host_.Port()));
        ASSERT_EQ(ReadServerHost(), "127.0.0.1:" + std::to_string(host_.Port()));
    }
    void TearDown() override {
        rpc::UninstallRemoteActivation();
        host_.Stop();
        SetConfigFolder("");
        std::filesystem::remove_all(folder_);
    }

private:
    rpc::HostServer host_;
    std::string folder_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ClientHostEnvironment);

}  // namespace
