// Hosts on TCP over mutual TLS: a client with a certificate of the host's CA gets in and is
// served; a client without one, with one of another CA, or without TLS at all is refused and
// the host serves on; a client refuses a host whose certificate another CA signed or that names
// another computer; plain TCP is used only when asked for; a client that never finishes its
// handshake is cut off and frees its place. The certificates are made by the script the README
// describes, so it is tried here too.
#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/memory.h"
#include "platform/config/opc_config.h"
#include "rpc/channel.h"
#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "rpc/tls_credentials.h"
#include "simserver/server_registry.h"
#include "tests/opc/client/connection_support.h"
#include "tests/platform/temp_folder.h"
#include "tests/rpc/raw_wire.h"
#include "tests/rpc/remote_object.h"

#include <capnp/rpc-twoparty.h>
#include <gtest/gtest.h>
#include <kj/async-io.h>
#include <kj/compat/tls.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;

// The CA with a host certificate for this computer and a client certificate; another CA with a
// client and a host of its own; and a host of the first CA made out to another computer.
class Certificates {
public:
    Certificates() {
        const std::string script = std::string(OPC_SOURCE_DIR) + "/scripts/make-tls-certificates";
        const std::string other = dir_ / "other";
        const std::string commands[] = {
            script + " " + dir_.path() + " ca",
            script + " " + dir_.path() + " host localhost 127.0.0.1",
            script + " " + dir_.path() + " host elsewhere 10.9.9.9",
            script + " " + dir_.path() + " client station",
            script + " " + other + " ca",
            script + " " + other + " client stranger",
            script + " " + other + " host localhost 127.0.0.1",
        };
        for (const std::string& command : commands)
            if (std::system(command.c_str()) != 0) failed_ = command;
    }
    const std::string& Failed() const { return failed_; }

    rpc::TlsFiles Files(const std::string& name, bool otherCa = false) const {
        const std::string folder = otherCa ? dir_ / "other" : dir_.path();
        return {folder + "/" + name + ".pem", folder + "/" + name + ".key", folder + "/ca.pem"};
    }
    std::shared_ptr<const rpc::TlsCredentials> Load(const std::string& name, bool otherCa = false) const {
        std::string error;
        auto credentials = rpc::TlsCredentials::Load(Files(name, otherCa), &error);
        EXPECT_TRUE(credentials) << error;
        return credentials;
    }
    std::string Path(const std::string& file) const { return dir_ / file; }

private:
    TempFolder dir_;
    std::string failed_;
};

const Certificates& Certs() {
    static const Certificates certificates;
    return certificates;
}

class TlsHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Certs().Failed().empty()) << "could not run: " << Certs().Failed();
        simserver::RegisterSimulationServers();
    }
    void TearDown() override { rpc::UninstallRemoteActivation(); }

    bool Start(const std::string& hostName = "localhost", bool otherCa = false) {
        rpc::HostOptions options;
        options.port = 0;
        options.tls = Certs().Files(hostName, otherCa);
        options.maxConnections = maxConnections;
        options.handshakeTimeout = handshakeTimeout;
        std::string error;
        const bool started = host.Start(options, &error);
        EXPECT_TRUE(started) << error;
        return started;
    }

    std::size_t maxConnections = 64;
    std::chrono::milliseconds handshakeTimeout{10'000};
    rpc::HostServer host;
};

// The host's first answer to a client of the test's own making: over `tls` when given (with the
// certificate it holds, or none), or over plain TCP.
bool HostAnswers(unsigned port, kj::TlsContext::Options* tls) {
    auto io = kj::setupAsyncIo();
    try {
        kj::Own<kj::AsyncIoStream> stream =
            io.provider->getNetwork().parseAddress("127.0.0.1", port).wait(io.waitScope)->connect().wait(io.waitScope);
        kj::Own<kj::TlsContext> context;
        if (tls) {
            context = kj::heap<kj::TlsContext>(kj::mv(*tls));
            stream = context->wrapClient(kj::mv(stream), "127.0.0.1").wait(io.waitScope);
        }
        capnp::TwoPartyClient client(*stream);
        auto ping = client.bootstrap().castAs<rpcwire::Host>().pingRequest().send().ignoreResult();
        io.provider->getTimer().timeoutAfter(5 * kj::SECONDS, kj::mv(ping)).wait(io.waitScope);
        return true;
    } catch (const kj::Exception&) {
        return false;
    }
}

TEST_F(TlsHost, AClientOfTheCaIsServedAndOthersAreRefusedWhileTheHostServesOn) {
    ASSERT_TRUE(Start());
    rpc::InstallRemoteActivation("", rpc::HostTransport{Certs().Load("station"), false});
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(WideFromUtf8(simserver::kDefaultProgId).c_str(), &clsid), S_OK);
    auto server = CreateRemote<IOPCServer>(clsid, u"127.0.0.1:" + WideFromUtf8(std::to_string(host.Port())),
                                           IID_IOPCServer);
    ASSERT_TRUE(server) << "a client with a certificate of the host's CA is served";
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    const kj::TlsCertificate ca(TempFolder::Read(Certs().Path("ca.pem")).c_str());
    const rpc::TlsFiles own = Certs().Files("station");
    const rpc::TlsFiles stranger = Certs().Files("stranger", true);
    const kj::TlsKeypair ownKeys{kj::TlsPrivateKey(TempFolder::Read(own.privateKey).c_str()),
                                 kj::TlsCertificate(TempFolder::Read(own.certificate).c_str())};
    const kj::TlsKeypair strangerKeys{kj::TlsPrivateKey(TempFolder::Read(stranger.privateKey).c_str()),
                                      kj::TlsCertificate(TempFolder::Read(stranger.certificate).c_str())};
    struct Case {
        const char* what;
        bool useTls;
        const kj::TlsKeypair* keys;
        bool answered;
    };
    const Case cases[] = {
        {"a client with a certificate of the CA", true, &ownKeys, true},  // the same path, let in
        {"a client with no certificate", true, nullptr, false},
        {"a client with a certificate of another CA", true, &strangerKeys, false},
        {"a client without TLS", false, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kj::TlsContext::Options options;
        options.useSystemTrustStore = false;
        options.trustedCertificates = kj::arrayPtr(&ca, 1);
        if (c.keys) options.defaultKeypair = *c.keys;
        EXPECT_EQ(HostAnswers(host.Port(), c.useTls ? &options : nullptr), c.answered);
    }
    // The refused clients are gone, and the client let in is still served.
    EXPECT_TRUE(WaitUntil([&] { return host.ConnectionCount() == 1; }, 5s)) << host.ConnectionCount();
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

TEST_F(TlsHost, AClientRefusesAHostOfAnotherCaOrMadeOutToAnotherComputer) {
    struct Case {
        const char* what;
        const char* hostCertificate;
        bool otherCa;
        bool connects;
    };
    const Case cases[] = {
        {"the host named in its certificate, of the client's CA", "localhost", false, true},
        {"a host whose certificate another CA signed", "localhost", true, false},
        {"a host whose certificate names another computer", "elsewhere", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rpc::HostServer other;
        rpc::HostOptions options;
        options.port = 0;
        // The host trusts the client's CA either way: only the client's check can refuse.
        options.tls = Certs().Files(c.hostCertificate, c.otherCa);
        options.tls.trustedCa = Certs().Path("ca.pem");
        std::string error;
        ASSERT_TRUE(other.Start(options, &error)) << error;
        HRESULT hr = S_OK;
        auto channel = rpc::Channel::Connect("127.0.0.1", other.Port(), &hr, {}, Certs().Load("station"));
        EXPECT_EQ(channel != nullptr, c.connects);
        if (!c.connects) {
            EXPECT_EQ(hr, RPC_S_SERVER_UNAVAILABLE_HR);
        }
    }
}

TEST_F(TlsHost, PlainTcpIsUsedOnlyWhenAskedFor) {
    rpc::HostServer plain;
    rpc::HostOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(plain.Start(options, &error)) << error;
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(WideFromUtf8(simserver::kDefaultProgId).c_str(), &clsid), S_OK);
    std::u16string computer = u"127.0.0.1:" + WideFromUtf8(std::to_string(plain.Port()));
    MULTI_QI request{&IID_IOPCServer, nullptr, S_OK};

    rpc::InstallRemoteActivation("", rpc::HostTransport{});
    EXPECT_EQ(rpc::ActivateRemote(computer, clsid, 1, &request), E_ACCESSDENIED);
    EXPECT_EQ(plain.ConnectionCount(), 0u) << "nothing was sent to the host";

    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    ASSERT_EQ(rpc::ActivateRemote(computer, clsid, 1, &request), S_OK);
    request.pItf->Release();
}

TEST_F(TlsHost, ClientsInTheirHandshakeTakeAPlaceUntilTheyLeave) {
    maxConnections = 2;
    ASSERT_TRUE(Start());
    const int silent[2] = {ConnectRaw(host.Port()), ConnectRaw(host.Port())};
    HRESULT hr = S_OK;
    EXPECT_FALSE(rpc::Channel::Connect("127.0.0.1", host.Port(), &hr, {}, Certs().Load("station")))
        << "two connections in their handshake fill the host's two places";
    ::close(silent[0]);
    ::close(silent[1]);
    EXPECT_TRUE(WaitUntil(
        [&] { return rpc::Channel::Connect("127.0.0.1", host.Port(), &hr, {}, Certs().Load("station")) != nullptr; },
        10s))
        << "a client of the CA gets a place once they are gone";
}

TEST_F(TlsHost, AClientThatNeverFinishesItsHandshakeIsCutOff) {
    handshakeTimeout = 300ms;
    ASSERT_TRUE(Start());
    const int silent = ConnectRaw(host.Port());
    pollfd waiting{silent, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 10'000), 1) << "the host closed the silent connection";
    char byte = 0;
    EXPECT_LE(::recv(silent, &byte, 1, 0), 0);
    ::close(silent);
}

TEST(TlsCredentials, FilesThatCannotServeAreRefusedWithTheFileAtFault) {
    ASSERT_TRUE(Certs().Failed().empty()) << "could not run: " << Certs().Failed();
    TempFolder dir;
    TempFolder::Write(dir / "garbage.pem", "not a certificate");
    const rpc::TlsFiles good = Certs().Files("station");
    struct Case {
        rpc::TlsFiles files;
        std::string named;  // the file the message names
    };
    const Case cases[] = {
        {{good.certificate, good.privateKey, dir / "missing.pem"}, dir / "missing.pem"},
        {{dir / "garbage.pem", good.privateKey, good.trustedCa}, dir / "garbage.pem"},
        {{good.certificate, dir / "garbage.pem", good.trustedCa}, dir / "garbage.pem"},
        {{good.certificate, good.privateKey, dir / "garbage.pem"}, dir / "garbage.pem"},
        // Another certificate's key.
        {{good.certificate, Certs().Files("localhost").privateKey, good.trustedCa},
         Certs().Files("localhost").privateKey},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(rpc::TlsCredentials::Load(c.files, &error));
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(rpc::TlsCredentials::Load(good, &error)) << error;
}

TEST(HostTlsSettings, RelativeFilesAreTakenFromTheConfigFolder) {
    TempFolder dir;
    SetConfigFolder(dir.path());
    TempFolder::Write(dir / "OPC.cfg",
                      "[CONFIG]\nHOST_TLS_CERT=tls/station.pem\nHOST_TLS_KEY=/keys/station.key\nHOST_TLS_CA=ca.pem\n"
                      "HOST_PLAIN_TCP=1\n");
    const HostTlsSettings settings = ReadHostTls();
    SetConfigFolder("");
    EXPECT_EQ(settings.certificate, dir / "tls/station.pem");
    EXPECT_EQ(settings.privateKey, "/keys/station.key");
    EXPECT_EQ(settings.trustedCa, dir / "ca.pem");
    EXPECT_TRUE(settings.plainTcp);
}

}  // namespace
