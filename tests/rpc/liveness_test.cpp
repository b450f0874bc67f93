// How a client and its host keep each other: any byte from the host counts as a sign of life,
// so a reply that takes longer than the liveness timeout over a slow link keeps the connection;
// the host answers pings and other clients' calls while one call holds its server; the ping
// period and timeout come from OPC.cfg.
#include "opc/da/opcda.h"
#include "platform/com/class_registry.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "platform/config/opc_config.h"
#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "tests/platform/temp_folder.h"
#include "tests/rpc/call_gate.h"
#include "tests/rpc/remote_object.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr char kProgId[] = "Orvane.Test.SlowLink";
constexpr char kHeldProgId[] = "Orvane.Test.HeldCall";

std::u16string Computer(const std::string& host, unsigned port) {
    std::u16string name;
    for (char c : host + ":" + std::to_string(port)) name.push_back(static_cast<char16_t>(c));
    return name;
}

ComPtr<IOPCItemMgt> AddGroup(IOPCServer* server) {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> items;
    server->AddGroup(u"held", TRUE, 1000, 1, nullptr, nullptr, 0, &handle, &revised, IID_IOPCItemMgt,
                     reinterpret_cast<LPUNKNOWN*>(items.put()));
    return items;
}

// Adds "Ramp.I4"; its server handle, 0 when the add failed.
OPCHANDLE AddRamp(IOPCItemMgt* items, HRESULT* hr) {
    OPCITEMDEF definition{};
    definition.szItemID = const_cast<LPWSTR>(u"Ramp.I4");
    definition.bActive = TRUE;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    *hr = items->AddItems(1, &definition, &results, &errors);
    const OPCHANDLE handle = SUCCEEDED(*hr) && errors && SUCCEEDED(errors[0]) ? results[0].hServer : 0;
    if (results) CoTaskMemFree(results[0].pBlob);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return handle;
}

// A relay between one client and a host that passes the host's bytes on at a fixed rate, as a
// slow link would, and the client's at once.
class SlowLink {
public:
    SlowLink(unsigned hostPort, std::size_t bytesPerSecond) : hostPort_(hostPort), rate_(bytesPerSecond) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        relay_ = std::thread([this] { Relay(); });
    }
    ~SlowLink() {
        stopping_ = true;
        for (int fd : {listener_, client_.load(), host_.load()})
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        relay_.join();
        for (int fd : {listener_, client_.load(), host_.load()})
            if (fd >= 0) ::close(fd);
    }
    SlowLink(const SlowLink&) = delete;
    SlowLink& operator=(const SlowLink&) = delete;

    unsigned Port() const { return port_; }

private:
    void Relay() {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        client_ = client;
        const int host = ::socket(AF_INET, SOCK_STREAM, 0);
        host_ = host;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(hostPort_));
        if (stopping_ || ::connect(host, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        std::thread upstream([client, host] { Pass(client, host, 0); });
        Pass(host, client, rate_);
        ::shutdown(host, SHUT_RDWR);
        upstream.join();
    }

    // Copies until either side closes; at `rate` bytes a second when not 0.
    static void Pass(int from, int to, std::size_t rate) {
        char buffer[1024];
        for (;;) {
            const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
            if (n <= 0 || ::send(to, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
            if (rate) std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 * n / static_cast<long>(rate)));
        }
        ::shutdown(to, SHUT_WR);
    }

    unsigned hostPort_;
    std::size_t rate_;
    int listener_ = -1;
    std::atomic<int> client_{-1};
    std::atomic<int> host_{-1};
    std::atomic<bool> stopping_{false};
    unsigned port_ = 0;
    std::thread relay_;
};

class Liveness : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigFolder(folder_.path());
        TempFolder::Write(folder_ / "OPC.cfg", "[CONFIG]\nHOST_PING_PERIOD=100\nHOST_PING_TIMEOUT=500\n");
        rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    }
    void TearDown() override {
        rpc::UninstallRemoteActivation();
        SetConfigFolder("");
    }

    TempFolder folder_;
};

// Browsing 10,000 names flat comes back as one reply of some 300 KB; at 150 KB/s it takes
// seconds, and the answers to the pings sent meanwhile wait behind it. The connection lives on
// the reply's own bytes.
TEST_F(Liveness, AReplyLongerThanTheTimeoutOnASlowLinkKeepsTheConnection) {
    simserver::SimConfig config;
    config.loadTagCount = 10000;
    const CLSID clsid = simserver::RegisterSimulationServer(kProgId, config);
    rpc::HostServer host;
    std::string error;
    rpc::HostOptions options;
    options.port = 0;
    ASSERT_TRUE(host.Start(options, &error)) << error;
    SlowLink link(host.Port(), 150 * 1024);

    auto browse = CreateRemote<IOPCBrowseServerAddressSpace>(clsid, Computer("127.0.0.1", link.Port()),
                                                             IID_IOPCBrowseServerAddressSpace);
    ASSERT_TRUE(browse);

    ComPtr<IEnumString> names;
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_FLAT, u"Load.*", VT_EMPTY, 0, names.put()), S_OK);
    std::vector<LPOLESTR> fetched(20000);
    ULONG count = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(names->Next(20000, fetched.data(), &count), S_FALSE);
    RecordProperty("reply_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    std::chrono::steady_clock::now() - start)
                                                    .count()));
    EXPECT_EQ(count, 10000U);
    for (ULONG i = 0; i < count; ++i) CoTaskMemFree(fetched[i]);
    ComPtr<IEnumString> again;
    EXPECT_EQ(browse->BrowseOPCItemIDs(OPC_FLAT, u"Load.T0000", VT_EMPTY, 0, again.put()), S_OK)
        << "the connection outlived the reply";
}

// One client's AddItems holds its server three liveness timeouts long; meanwhile the host
// answers that client's pings and another client's reads, and neither is dropped. The two
// clients are two connections: "127.1" names the same address as "127.0.0.1".
TEST_F(Liveness, ACallThatHoldsItsServerStopsNeitherPingsNorOtherClients) {
    CallGate gate;
    simserver::SimConfig config;
    config.loadTagCount = 0;
    config.addItemsHook = gate.Hook();
    const CLSID clsid = simserver::RegisterSimulationServer(kHeldProgId, config);
    rpc::HostServer host;
    std::string error;
    rpc::HostOptions options;
    options.port = 0;
    ASSERT_TRUE(host.Start(options, &error)) << error;

    auto reader = CreateRemote<IOPCServer>(clsid, Computer("127.1", host.Port()), IID_IOPCServer);
    auto held = CreateRemote<IOPCServer>(clsid, Computer("127.0.0.1", host.Port()), IID_IOPCServer);
    ASSERT_TRUE(reader && held);
    ComPtr<IOPCItemMgt> readerItems = AddGroup(reader.get());
    ComPtr<IOPCItemMgt> heldItems = AddGroup(held.get());
    ASSERT_TRUE(readerItems && heldItems);
    HRESULT added = E_FAIL;
    OPCHANDLE ramp = AddRamp(readerItems.get(), &added);
    ASSERT_NE(ramp, 0U);
    auto sync = readerItems.As<IOPCSyncIO>();
    ASSERT_TRUE(sync);

    gate.Arm();
    HRESULT heldResult = E_FAIL;
    std::thread holder([&] { AddRamp(heldItems.get(), &heldResult); });
    if (!gate.WaitUntilHeld(10s)) {
        gate.Open();
        holder.join();
        FAIL() << "the call never reached its server";
    }
    const auto heldSince = std::chrono::steady_clock::now();
    int reads = 0;
    while (std::chrono::steady_clock::now() - heldSince < 1500ms) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const HRESULT read = sync->Read(OPC_DS_DEVICE, 1, &ramp, &states, &errors);
        if (read != S_OK) {
            ADD_FAILURE() << "read " << reads << " failed: " << std::hex << read;
            break;
        }
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
        ++reads;
    }
    gate.Open();
    holder.join();
    EXPECT_EQ(heldResult, S_OK) << "the held client was kept";
    EXPECT_EQ(host.ConnectionCount(), 2U);
    RecordProperty("reads_while_held", reads);
}

}  // namespace
