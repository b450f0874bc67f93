#include "forwarding/data_server.h"

#include "forwarding/data_client.h"
#include "opc/client/item.h"
#include "platform/com/hresult.h"
#include "platform/shell/shell.h"
#include "platform/shell/trace.h"
#include "platform/strings/language.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {
constexpr int kBacklog = 10;
constexpr int kEventsPerRound = 64;
// A busy server takes rounds of events for up to this long before it gives the loop back,
// which saves the loop's own poll and dispatch; the bound keeps other events of the thread
// flowing.
constexpr auto kTurnTime = std::chrono::milliseconds(1);
constexpr int kAcceptsPerTurn = 16;
// One receive takes at most this much.
constexpr std::size_t kReceiveBufferSize = 4096;

// Connections are edge-triggered: an event comes when input arrives or the socket becomes
// writable again after a send that did not take everything, so a connection is looked at once
// per change, and reading and writing never need the set changed.
epoll_event ConnectionEvent(CDataClient* connection) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.ptr = connection;
    return event;
}

int OpenSpareDescriptor() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

// The socket address to listen on: `address` (an IPv4 one as such), or every IPv4 address.
socklen_t ListenAddress(const std::optional<PeerAddress>& address, std::uint16_t port, sockaddr_storage& out) {
    if (!address || address->IsV4()) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(INADDR_ANY);
        if (address) std::memcpy(&v4.sin_addr, address->Bytes().data() + 12, 4);
        std::memcpy(&out, &v4, sizeof v4);
        return sizeof v4;
    }
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    std::memcpy(&v6.sin6_addr, address->Bytes().data(), 16);
    std::memcpy(&out, &v6, sizeof v6);
    return sizeof v6;
}

std::uint16_t BoundPort(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

std::int64_t UnixNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

CDataServer::CDataServer(const CItemAddressRegistry& registry)
    : registry_(registry), receiveBuffer_(kReceiveBufferSize) {}

CDataServer::~CDataServer() {
    notifier_.reset();
    connections_.clear();
    retired_.clear();
}

void CDataServer::SetMessageBox(std::function<void(const std::string&)> show) { showMessage_ = std::move(show); }

void CDataServer::SetItemWriter(ItemWriter writer) { writer_ = std::move(writer); }

bool CDataServer::ApplySettings(const ForwardingSettings& settings) {
    // Compared with the port really listened on, which a port of 0 chose.
    const bool moved = settings.listenAddress != settings_.listenAddress || settings.port != port_;
    settings_ = settings;
    policy_ = PeerPolicy(settings);
    std::vector<CDataClient*> refused;
    for (const auto& [key, connection] : connections_)
        if (policy_.Admit(connection->Peer(), 0) == PeerPolicy::Admission::kNotListed)
            refused.push_back(connection.get());
    for (CDataClient* connection : refused) {
        Refuse(connection->Peer(), PeerPolicy::Admission::kNotListed);
        Remove(connection);
    }
    if (!listener_ || !moved) return true;
    UniqueFd replacement = OpenListener(settings.port);
    if (!replacement) return false;  // the old listener goes on
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, listener_.get(), nullptr);
    listener_ = std::move(replacement);
    port_ = BoundPort(listener_.get());
    return true;
}

const char* CDataServer::FailureText(StartFailure failure) {
    switch (failure) {
    case StartFailure::kCreate: return Tr("创建SOCKET失败！", "Failed to create the socket!");
    case StartFailure::kBind: return Tr("绑定端口失败！", "Failed to bind the port!");
    case StartFailure::kListen: return Tr("监听失败！", "Failed to listen!");
    case StartFailure::kNone: break;
    }
    return "";
}

bool CDataServer::Fail(StartFailure failure) {
    failure_ = failure;
    const std::string text = FailureText(failure);
    if (showMessage_)
        showMessage_(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    return false;
}

UniqueFd CDataServer::OpenListener(std::uint16_t port) {
    failure_ = StartFailure::kNone;
    const auto failed = [this](StartFailure failure) {
        Fail(failure);
        return UniqueFd();
    };
    sockaddr_storage address{};
    const socklen_t length = ListenAddress(settings_.listenAddress, port, address);
    UniqueFd socket(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) return failed(StartFailure::kCreate);

    const int one = 1;
    const int zero = 0;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // "::" takes IPv4 peers too (they arrive as ::ffff:a.b.c.d), whatever the system default.
    if (address.ss_family == AF_INET6) ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) < 0)
        return failed(StartFailure::kBind);
    if (::listen(socket.get(), kBacklog) < 0) return failed(StartFailure::kListen);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;  // the listener; connections carry their own pointer
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, socket.get(), &event) < 0) return failed(StartFailure::kListen);
    return socket;
}

bool CDataServer::StartServer(std::uint16_t port) {
    if (listener_) return true;  // listening already
    failure_ = StartFailure::kNone;
    if (!epoll_) epoll_.Reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_) return Fail(StartFailure::kCreate);
    UniqueFd socket = OpenListener(port);
    if (!socket) return false;

    port_ = BoundPort(socket.get());
    listener_ = std::move(socket);
    if (!spareDescriptor_) spareDescriptor_.Reset(OpenSpareDescriptor());
    notifier_ = std::make_unique<QSocketNotifier>(epoll_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { OnEvents(); });
    TraceLine("%s:%d:\"server ok\"\r\n", "DataServer", __LINE__);
    return true;
}

void CDataServer::OnEvents() {
    // A write that spins a nested event loop must not start a second batch inside this one;
    // the set stays readable, so those events come next turn.
    if (inBatch_) return;
    epoll_event events[kEventsPerRound];
    const auto turnEnd = std::chrono::steady_clock::now() + kTurnTime;
    while (std::chrono::steady_clock::now() < turnEnd) {
        const int count = ::epoll_wait(epoll_.get(), events, kEventsPerRound, 0);
        if (count <= 0) return;
        inBatch_ = true;
        for (int i = 0; i < count; ++i) {
            auto* connection = static_cast<CDataClient*>(events[i].data.ptr);
            if (!connection) {
                OnAccept();
                continue;
            }
            if (connection->Closed()) continue;  // removed earlier in this round
            const std::uint32_t mask = events[i].events;
            if (mask & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
                connection->OnReceive((mask & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0);
            if (!connection->Closed() && (mask & EPOLLOUT)) connection->OnSend();
        }
        inBatch_ = false;
        retired_.clear();
    }
}

void CDataServer::OnAccept() {
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int socket =
            ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket >= 0) {
            Accept(UniqueFd(socket),
                   PeerAddress::FromSocketAddress(reinterpret_cast<const sockaddr*>(&address), length));
        } else if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        } else if ((errno == EMFILE || errno == ENFILE) && spareDescriptor_) {
            // Out of descriptors: take the peer off the queue and close it, or the listener
            // would stay readable and spin the loop.
            spareDescriptor_.Reset();
            UniqueFd shed(::accept(listener_.get(), nullptr, nullptr));
            shed.Reset();
            spareDescriptor_.Reset(OpenSpareDescriptor());
        } else {
            return;  // nothing more waiting
        }
    }
}

void CDataServer::Accept(UniqueFd socket, const std::optional<PeerAddress>& peer) {
    TraceLine("[>>>]%s:%s:%d\t\r\n", "DataServer", "CDataServer::OnAccept", __LINE__);
    if (!peer) return;  // not an IP peer: nothing the rules could admit
    if (const auto admission = policy_.Admit(*peer, connections_.size());
        admission != PeerPolicy::Admission::kAdmitted) {
        Refuse(*peer, admission);
        return;  // the socket closes here
    }
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // replies go out at once
    auto connection = std::make_unique<CDataClient>(this, std::move(socket), *peer, ++accepted_, UnixNowMs());
    epoll_event event = ConnectionEvent(connection.get());
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, connection->Socket(), &event) == 0) {
        const CDataClient* key = connection.get();
        connections_.emplace(key, std::move(connection));
    }
    TraceLine("[<<<]%s:%s\t\r\n", "DataServer", "CDataServer::OnAccept");
}

void CDataServer::Refuse(const PeerAddress& peer, PeerPolicy::Admission why) {
    ForwardingCounters::Add(counters_.refusedPeers);
    if (!refusals_.ShouldLog(peer, RefusalLog::Clock::now())) return;
    const std::string address = peer.ToString();
    if (why == PeerPolicy::Admission::kTooManyPeers)
        LogEvent(IDS_PEER_REFUSED_FULL, address.c_str(), static_cast<int>(policy_.MaxPeers()));
    else
        LogEvent(IDS_PEER_REFUSED_NOT_LISTED, address.c_str());
}

void CDataServer::HandleWrite(const PeerAddress& peer, const LinkWrite& write) {
    ForwardingCounters::Add(counters_.writes);
    const std::string address = peer.ToString();
    const int itemAddress = write.address;
    const std::string itemId = write.item ? write.item->itemId : std::string();
    if (const auto right = policy_.MayWrite(peer); right != PeerPolicy::WriteRight::kAllowed) {
        ForwardingCounters::Add(counters_.refusedWrites);
        const char* reason = right == PeerPolicy::WriteRight::kWritesOff
                                 ? Tr("转发写入已关闭", "writes over the link are off")
                                 : Tr("对端不在写入名单中", "the peer is not on the write list");
        LogEvent(IDS_LINK_WRITE_REFUSED, address.c_str(), itemAddress, itemId.c_str(), write.text.c_str(), reason);
        return;
    }
    if (!write.item) {
        LogEvent(IDS_LINK_WRITE_NO_ITEM, address.c_str(), itemAddress, write.text.c_str());
        return;
    }
    if (!writer_) return;  // writes are dropped on purpose (tests of the frames alone)
    const HRESULT hr = writer_(*write.item, write.text);
    if (SUCCEEDED(hr))
        LogEvent(IDS_LINK_WRITE_DONE, address.c_str(), itemAddress, itemId.c_str(), write.text.c_str(), HrBits(hr));
    else
        LogEvent(IDS_LINK_WRITE_FAILED, address.c_str(), itemAddress, itemId.c_str(), write.text.c_str(), HrBits(hr));
}

std::vector<CDataServer::PeerInfo> CDataServer::Peers() const {
    std::vector<const CDataClient*> ordered;
    ordered.reserve(connections_.size());
    for (const auto& [key, connection] : connections_) ordered.push_back(connection.get());
    std::sort(ordered.begin(), ordered.end(),
              [](const CDataClient* a, const CDataClient* b) { return a->Order() < b->Order(); });
    std::vector<PeerInfo> peers;
    peers.reserve(ordered.size());
    for (const CDataClient* connection : ordered)
        peers.push_back({connection->Peer().ToString(), connection->ConnectedSinceMs()});
    return peers;
}

void CDataServer::Rearm(CDataClient* connection) {
    epoll_event event = ConnectionEvent(connection);
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, connection->Socket(), &event);
}

std::size_t CDataServer::UnsentOutput() const {
    std::size_t unsent = 0;
    for (const auto& [key, connection] : connections_) unsent += connection->UnsentOutput();
    return unsent;
}

void CDataServer::Remove(CDataClient* connection) {
    auto it = connections_.find(connection);
    if (it == connections_.end()) return;
    std::unique_ptr<CDataClient> owned = std::move(it->second);
    connections_.erase(it);
    owned->Close();
    if (inBatch_) retired_.push_back(std::move(owned));  // deleted after the batch
}
