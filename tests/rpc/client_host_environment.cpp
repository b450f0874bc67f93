// Runs the client's connection and I/O tests through the proxies: a host in this process,
// named by OPC.cfg as the host of every server connection that names no computer, exactly as
// an operator would set it.
#include "platform/config/ini_file.h"
#include "platform/config/opc_config.h"
#include "tests/rpc/host_environment.h"

#include <cstdlib>
#include <filesystem>

namespace {

class ClientHostEnvironment final : public HostEnvironment {
public:
    void SetUp() override {
        HostEnvironment::SetUp();
        char pattern[] = "/tmp/opc-remote-client-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        SetConfigFolder(folder_);
        ini::WriteValue(GetConfigFilePath(), "CONFIG", "SERVER_HOST", ComputerName());
        ASSERT_EQ(ReadServerHost(), ComputerName());
    }
    void TearDown() override {
        HostEnvironment::TearDown();
        SetConfigFolder("");
        std::filesystem::remove_all(folder_);
    }

private:
    std::string folder_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ClientHostEnvironment);

}  // namespace
