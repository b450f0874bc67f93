#include "forwarding/data_server.h"

#include "forwarding/data_client.h"
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
#include <cerrno>
#include <chrono>
#include <cstdio>

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

bool CDataServer::StartServer(std::uint16_t port) {
    if (listener_) return true;  // listening already
    failure_ = StartFailure::kNone;
    if (!epoll_) epoll_.Reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_) return Fail(StartFailure::kCreate);
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) return Fail(StartFailure::kCreate);

    const int one = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
        return Fail(StartFailure::kBind);
    if (::listen(socket.get(), kBacklog) < 0) return Fail(StartFailure::kListen);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;  // the listener; connections carry their own pointer
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, socket.get(), &event) < 0) return Fail(StartFailure::kListen);

    socklen_t length = sizeof address;
    ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
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
        const int socket = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket >= 0) {
            Accept(UniqueFd(socket));
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

void CDataServer::Accept(UniqueFd socket) {
    TraceLine("[>>>]%s:%s:%d\t\r\n", "DataServer", "CDataServer::OnAccept", __LINE__);
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // replies go out at once
    auto connection = std::make_unique<CDataClient>(this, std::move(socket));
    epoll_event event = ConnectionEvent(connection.get());
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, connection->Socket(), &event) == 0) {
        const CDataClient* key = connection.get();
        connections_.emplace(key, std::move(connection));
    }
    TraceLine("[<<<]%s:%s\t\r\n", "DataServer", "CDataServer::OnAccept");
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
