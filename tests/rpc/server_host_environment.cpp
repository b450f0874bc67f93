// Runs the server conformance tests through the proxies: every server is created on a host in
// this process by its computer name.
#include "platform/com/bstr.h"
#include "tests/rpc/host_environment.h"
#include "tests/simserver/server_test_support.h"

namespace {

class ServerHostEnvironment final : public HostEnvironment {
public:
    void SetUp() override {
        HostEnvironment::SetUp();
        simserver::test::gServerComputer = WideFromUtf8(ComputerName());
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ServerHostEnvironment);

}  // namespace
