#include "rpc/host_server.h"

#include "opc/da/opc_types.h"
#include "platform/com/class_registry.h"
#include "platform/com/clipboard_format.h"
#include "rpc/buffered_stream.h"
#include "rpc/channel.h"
#include "rpc/host_loop.h"
#include "rpc/local_endpoint.h"
#include "rpc/loop_runner.h"
#include "rpc/message_limits.h"
#include "rpc/off_loop.h"
#include "rpc/peer_address.h"
#include "rpc/persist_folder.h"
#include "rpc/socket_options.h"
#include "rpc/wire_convert.h"

#include <arpa/inet.h>
#include <capnp/rpc-twoparty.h>
#include <kj/async-io.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <future>
#include <list>
#include <thread>

namespace rpc {
namespace {

// What one connection may have in flight towards the host before it stops reading more calls.
constexpr size_t kFlowLimitWords = size_t{1} << 20;
// How soon a failed accept (no descriptor free) is tried again.
constexpr auto kAcceptRetry = 100 * kj::MILLISECONDS;
// How long a stopping host waits for its cut connections to close.
constexpr auto kStopGrace = 1 * kj::SECONDS;
// How often the connections are looked over for clients that stopped reading or went silent.
constexpr auto kWatchPeriod = 250 * kj::MILLISECONDS;

// The host's first capability: creates server objects from the class registry.
class HostEntry final : public rpcwire::Host::Server {
public:
    HostEntry(HostContext& context, Budget budget) : context_(context), budget_(std::move(budget)) {}

protected:
    kj::Promise<void> createInstance(CreateInstanceContext call) override {
        return OffLoop(context_, call, [&host = context_, budget = budget_](auto& copy) {
            CLSID clsid;
            auto results = copy.getResults();
            if (!FromWire(copy.getParams().getClsid(), &clsid)) return results.setHr(E_INVALIDARG);
            MULTI_QI request{&IID_IUnknown, nullptr, S_OK};
            const HRESULT hr = CoCreateInstanceEx(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, nullptr,
                                                  1, &request);
            ComPtr<IUnknown> object;
            object.attach(request.pItf);
            results.setHr(hr);
            if (SUCCEEDED(hr) && !Lend(host, budget, object.get(), results.initServer())) results.setHr(E_OUTOFMEMORY);
        });
    }

    // Answered on the loop whatever the call pool is doing: a client whose call holds its
    // server for long still hears from the host.
    kj::Promise<void> ping(PingContext) override { return kj::READY_NOW; }

private:
    HostContext& context_;
    Budget budget_;  // the connection's
};

// What a queued outgoing message costs in memory beyond its words (its builder and the
// queue's hold on it): a host that counted the words alone would keep a gigabyte for a million
// small answers.
constexpr std::size_t kQueuedMessageCost = 1024;

struct Connection {
    Connection(kj::Own<kj::AsyncIoStream>&& s, int socket, Budget connectionBudget, capnp::Capability::Client bootstrap,
               std::string peerText, kj::Timer& timer, std::size_t maxUnread)
        : socketFd(socket),
          maxUnreadBytes(maxUnread),
          budget(std::move(connectionBudget)),
          stream(kj::heap<BufferedStream>(kj::mv(s), &timer)),
          network(*stream, capnp::rpc::twoparty::Side::SERVER, HostReaderOptions()),
          rpc(capnp::makeRpcServer(network, kj::mv(bootstrap))),
          peer(std::move(peerText)),
          heardAt(timer.now()) {
        rpc.setFlowLimit(kFlowLimitWords);
        // Checked before each read as well as by the watch: a client that sends fast and reads
        // nothing would otherwise queue answers far past the bound between two watches.
        stream->SetReadGate([this] { return !CutIfOverloaded(); });
    }
    int socketFd;  // under the TLS stream, if any; owned by the stream
    std::size_t maxUnreadBytes;
    Budget budget;
    kj::Own<BufferedStream> stream;
    capnp::TwoPartyVatNetwork network;
    capnp::RpcSystem<capnp::rpc::twoparty::VatId> rpc;
    std::string peer;  // for the log
    std::uint64_t bytesSeen = 0;
    kj::TimePoint heardAt;  // when a byte last came
    bool cut = false;       // shut down by the host; closed once the RPC system has seen it

    // Shuts the socket down: the RPC system then sees the connection end and lets go of what
    // it held, as when the client leaves, and the connection is closed after that.
    void Cut() {
        cut = true;
        if (socketFd >= 0) ::shutdown(socketFd, SHUT_RDWR);
    }

    // Cuts the client off, saying so, once what waits for it to read passes the bound; true
    // when it is cut off (now or before).
    bool CutIfOverloaded() {
        if (cut) return true;
        const std::size_t unread = network.getCurrentQueueSize() + network.getCurrentQueueCount() * kQueuedMessageCost;
        if (unread <= maxUnreadBytes) return false;
        std::fprintf(stderr, "opcserverd: client %s left %zu bytes unread; cut off\n", peer.c_str(), unread);
        Cut();
        return true;
    }
};

std::optional<IpAddress> PeerAddress(kj::AsyncIoStream& stream) {
    sockaddr_storage address{};
    kj::uint length = sizeof address;
    try {
        stream.getpeername(reinterpret_cast<sockaddr*>(&address), &length);
    } catch (const kj::Exception&) {
        return std::nullopt;
    }
    return IpAddressOf(reinterpret_cast<const sockaddr&>(address));
}

// A socket file left by a host that ended without removing it is removed; one a host still
// serves on, or anything that is not a socket, is left alone and refused.
bool ClearStaleSocket(const std::string& path, std::string* error) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return true;  // nothing there
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    if (!S_ISSOCK(status.st_mode)) return fail("not a socket");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return fail("path too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool served = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) ::close(probe);
    if (served) return fail("another host serves there");
    ::unlink(path.c_str());
    return true;
}

}  // namespace

rpcwire::Host::Client MakeHostEntry(HostContext& context, Budget budget) {
    return kj::heap<HostEntry>(context, std::move(budget));
}

struct HostServer::State final : kj::TaskSet::ErrorHandler {
    HostOptions options;
    std::shared_ptr<const PersistFolder> persistFolder;
    std::vector<IpAddress> allowed;  // the allow-list, parsed
    std::thread thread;
    std::atomic<unsigned> port{0};
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> acceptFailures{0};
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
    std::atomic<bool> stop{false};  // set on the loop thread, by work Stop() posts
    std::list<kj::Own<Connection>> open;      // loop thread only
    std::shared_ptr<const TlsCredentials> credentials;  // TLS on TCP; none: plain TCP
    kj::TlsContext* tls = nullptr;            // loop thread only, while it runs
    kj::TaskSet* handshakes = nullptr;        // loop thread only: the TLS handshakes under way
    std::size_t handshaking = 0;              // loop thread only
    bool acceptFailing = false;               // loop thread only: said once per run of failures
    bool turningAway = false;                 // loop thread only: said once per run of refusals

    void taskFailed(kj::Exception&&) override {}

    // Releases everything the client held; a connection closed already is left alone.
    void Close(Connection* connection) {
        auto found = std::find_if(open.begin(), open.end(),
                                  [connection](const kj::Own<Connection>& c) { return c.get() == connection; });
        if (found == open.end()) return;
        open.erase(found);
        --connections;
    }

    bool Allowed(const std::optional<IpAddress>& peer) const {
        if (options.allowedClients.empty()) return true;
        return peer && std::find(allowed.begin(), allowed.end(), *peer) != allowed.end();
    }

    kj::Promise<void> AcceptLoop(kj::ConnectionReceiver& listener, HostContext& context, kj::TaskSet& tasks,
                                 kj::Timer& timer) {
        // evalNow: an accept that fails at once (EMFILE with a peer waiting) throws rather
        // than rejecting, and must reach the handler below all the same.
        return kj::evalNow([&listener] { return listener.accept(); }).then(
            [this, &listener, &context, &tasks, &timer](kj::Own<kj::AsyncIoStream>&& stream) {
                acceptFailing = false;
                Admit(kj::mv(stream), context, tasks, timer);
                return AcceptLoop(listener, context, tasks, timer);
            },
            [this, &listener, &context, &tasks, &timer](kj::Exception&& failure) {
                // Out of descriptors (EMFILE) or a peer gone before it was taken: the listener
                // lives on, and accepting resumes once descriptors are free again.
                if (!acceptFailing)
                    std::fprintf(stderr, "opcserverd: accepting a connection failed (%s); trying again\n",
                                 failure.getDescription().cStr());
                acceptFailing = true;
                ++acceptFailures;
                return timer.afterDelay(kAcceptRetry).then(
                    [this, &listener, &context, &tasks, &timer] { return AcceptLoop(listener, context, tasks, timer); });
            });
    }

    // Cuts off the clients that leave too much unread or have gone silent, saying why.
    kj::Promise<void> WatchLoop(kj::Timer& timer) {
        return timer.afterDelay(kWatchPeriod).then([this, &timer] {
            const kj::TimePoint now = timer.now();
            const kj::Duration idle = options.idleTimeout.count() * kj::MILLISECONDS;
            for (kj::Own<Connection>& connection : open) {
                if (connection->cut) continue;
                if (connection->stream->BytesReceived() != connection->bytesSeen) {
                    connection->bytesSeen = connection->stream->BytesReceived();
                    connection->heardAt = now;
                }
                if (connection->CutIfOverloaded()) {
                    continue;
                } else if (connection->budget->Overflowed()) {
                    std::fprintf(stderr, "opcserverd: client %s let more than %zu bytes of callbacks wait; cut off\n",
                                 connection->peer.c_str(), options.maxWaitingCallbackBytes);
                    connection->Cut();
                } else if (now - connection->heardAt >= idle) {
                    std::fprintf(stderr, "opcserverd: client %s sent nothing for %lld ms; cut off\n",
                                 connection->peer.c_str(), static_cast<long long>(options.idleTimeout.count()));
                    connection->Cut();
                }
            }
            return WatchLoop(timer);
        });
    }

    void Admit(kj::Own<kj::AsyncIoStream>&& stream, HostContext& context, kj::TaskSet& tasks, kj::Timer& timer) {
        int fd = -1;
        KJ_IF_MAYBE(socket, stream->getFd()) { fd = *socket; }
        std::string peerText;
        if (!options.localSocket.empty()) {
            if (fd < 0 || !PeerIsSameUser(fd)) {
                std::fprintf(stderr, "opcserverd: refused a client of another user on %s\n", options.localSocket.c_str());
                return;
            }
            peerText = "(this user)";
        } else {
            const std::optional<IpAddress> peer = PeerAddress(*stream);
            if (!Allowed(peer)) return;
            peerText = peer ? IpAddressText(*peer) : std::string("(unknown)");
        }
        // Clients still in their handshake count too: a thousand that never finish it are
        // turned away like a thousand connected ones.
        if (open.size() + handshaking >= options.maxConnections) {
            if (!turningAway)
                std::fprintf(stderr, "opcserverd: %zu clients connected; turning away %s and others until one leaves\n",
                             open.size() + handshaking, peerText.c_str());
            turningAway = true;
            return;
        }
        turningAway = false;
        if (fd >= 0) ConfigureSocket(fd, Liveness{}.timeout);
        if (!tls) return Serve(kj::mv(stream), fd, std::move(peerText), context, tasks, timer);

        ++handshaking;
        auto handshake = tls->wrapServer(kj::AuthenticatedStream{kj::mv(stream), kj::UnknownPeerIdentity::newInstance()});
        handshakes->add(timer.timeoutAfter(options.handshakeTimeout.count() * kj::MILLISECONDS, kj::mv(handshake))
                            .then(
                                [this, fd, peerText, &context, &tasks, &timer](kj::AuthenticatedStream&& secured) {
                                    --handshaking;
                                    auto& identity = kj::downcast<kj::TlsPeerIdentity>(*secured.peerIdentity);
                                    if (!identity.hasCertificate()) {
                                        std::fprintf(stderr, "opcserverd: refused client %s: it presented no certificate\n",
                                                     peerText.c_str());
                                        return;
                                    }
                                    Serve(kj::mv(secured.stream), fd, peerText + " (" + identity.getCommonName().cStr() + ")",
                                          context, tasks, timer);
                                },
                                [this, peerText](kj::Exception&& failure) {
                                    --handshaking;
                                    std::fprintf(stderr, "opcserverd: refused client %s: TLS handshake failed (%s)\n",
                                                 peerText.c_str(), failure.getDescription().cStr());
                                }));
    }

    // Lends the client the host's entry; the connection is closed when the client leaves.
    void Serve(kj::Own<kj::AsyncIoStream>&& stream, int fd, std::string peerText, HostContext& context,
               kj::TaskSet& tasks, kj::Timer& timer) {
        auto budget = std::make_shared<ConnectionBudget>(options.maxObjectsPerClient, options.maxSinksPerClient,
                                                         options.maxWaitingCallbackBytes);
        open.push_back(kj::heap<Connection>(kj::mv(stream), fd, budget, MakeHostEntry(context, budget),
                                            std::move(peerText), timer, options.maxUnreadBytes));
        ++connections;
        Connection* connection = open.back().get();
        tasks.add(connection->network.onDisconnect().then([this, connection]() {
            // Not the client's leaving in order, nor the host's own cut (logged already): the
            // connection failed, or the RPC system broke it off over what the client sent.
            if (!connection->cut && !connection->stream->PeerClosed()) {
                if (connection->stream->Failed())
                    std::fprintf(stderr, "opcserverd: client %s lost (it vanished, or took nothing for too long)\n",
                                 connection->peer.c_str());
                else
                    std::fprintf(stderr, "opcserverd: client %s sent a message the host refuses (too large or "
                                         "malformed); cut off\n", connection->peer.c_str());
            }
            // A later turn, so the network is not destroyed inside its own callback.
            return kj::evalLater([this, connection]() { Close(connection); });
        }));
    }

    void Run(std::promise<std::string>& started) {
        try {
            auto io = kj::setupAsyncIo();
            HostContext context{mailbox, persistFolder, std::make_shared<CallPool>(options.callThreads)};
            kj::TaskSet tasks(*this);
            tasks.add(context.mailbox->Run(io.unixEventPort));
            kj::Own<kj::TlsContext> tlsContext;
            if (credentials && options.localSocket.empty()) tlsContext = credentials->ServerContext();
            tls = tlsContext.get();
            auto handshakeTasks = kj::heap<kj::TaskSet>(*this);
            handshakes = handshakeTasks.get();
            auto address =
                (options.localSocket.empty()
                     ? io.provider->getNetwork().parseAddress(options.listenAddress, options.port)
                     : io.provider->getNetwork().parseAddress("unix:" + options.localSocket))
                    .wait(io.waitScope);
            auto listener = address->listen();
            port = listener->getPort();
            started.set_value({});
            kj::Maybe<kj::Promise<void>> accepting =
                AcceptLoop(*listener, context, tasks, io.provider->getTimer()).eagerlyEvaluate(nullptr);
            kj::Maybe<kj::Promise<void>> watching = WatchLoop(io.provider->getTimer()).eagerlyEvaluate(nullptr);
            RunLoop(io.waitScope, io.unixEventPort, stop);
            if (options.onStopping) options.onStopping();
            // No peer gets in from here on: one accepted while the work below drains would
            // outlive the loop.
            accepting = nullptr;
            watching = nullptr;
            handshakes = nullptr;
            handshakeTasks = nullptr;
            listener = nullptr;
            if (!options.localSocket.empty()) ::unlink(options.localSocket.c_str());
            // Each connection is cut, so that its RPC system lets go as when the client leaves;
            // one that has not closed after a moment is closed regardless.
            for (kj::Own<Connection>& connection : open) connection->Cut();
            const kj::TimePoint closeBy = io.provider->getTimer().now() + kStopGrace;
            while (!open.empty() && io.provider->getTimer().now() < closeBy)
                io.provider->getTimer().afterDelay(10 * kj::MILLISECONDS).wait(io.waitScope);
            open.clear();
            connections = 0;
            // The calls still running end, and hand what they hold back to the loop.
            context.calls->Stop();
            // Releasing the connections may have posted work (sinks let go); run it, then close.
            io.provider->getTimer().afterDelay(10 * kj::MILLISECONDS).wait(io.waitScope);
            context.mailbox->Close();
            tls = nullptr;
        } catch (const kj::Exception& e) {
            tls = nullptr;
            handshakes = nullptr;
            mailbox->Close();
            try {
                started.set_value(e.getDescription().cStr());
            } catch (const std::future_error&) {
                // Failed after starting; the owner sees the loop end.
            }
        }
    }
};

HostServer::HostServer() : state_(std::make_unique<State>()) {}

HostServer::~HostServer() {
    Stop();
}

bool HostServer::Start(const HostOptions& options, std::string* error) {
    // The formats the servers offer, known before any client names them (clients' names are
    // only looked up).
    for (const char* format : {OPCSTMFORMATDATA, OPCSTMFORMATDATATIME, OPCSTMFORMATWRITECOMPLETE})
        RegisterClipboardFormat(format);
    state_->options = options;
    // An entry that is no address would admit nobody it was meant for: refused at the start.
    for (const std::string& entry : options.allowedClients) {
        const std::optional<IpAddress> address = ParseIpAddress(entry);
        if (!address) {
            if (error) *error = "not a client address: " + entry;
            return false;
        }
        state_->allowed.push_back(*address);
    }
    if (!options.localSocket.empty() && !ClearStaleSocket(options.localSocket, error)) return false;
    if (options.localSocket.empty() && !options.tls.Empty()) {
        state_->credentials = TlsCredentials::Load(options.tls, error);
        if (!state_->credentials) return false;
    }
    if (!options.persistDir.empty()) {
        state_->persistFolder = PersistFolder::Open(options.persistDir, error);
        if (!state_->persistFolder) return false;
    }
    std::promise<std::string> started;
    auto result = started.get_future();
    state_->thread = std::thread([this, &started] { state_->Run(started); });
    const std::string failure = result.get();
    if (failure.empty()) return true;
    if (error) *error = failure;
    state_->thread.join();
    return false;
}

unsigned HostServer::Port() const {
    return state_->port.load();
}

std::size_t HostServer::ConnectionCount() const {
    return state_->connections.load();
}

std::size_t HostServer::AcceptFailures() const {
    return state_->acceptFailures.load();
}

void HostServer::Stop() {
    if (!state_->thread.joinable()) return;
    State& state = *state_;
    if (!state.mailbox->Closed()) state.mailbox->Post([&state]() { state.stop.store(true); });
    state_->thread.join();
}

}  // namespace rpc
