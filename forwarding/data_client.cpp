#include "forwarding/data_client.h"

#include "forwarding/data_server.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace {
// Replies queued beyond this are sent before more requests are handled.
constexpr std::size_t kFlushThreshold = std::size_t{64} * 1024;
// Output buffers that grew past this while a peer was slow are released once drained.
constexpr std::size_t kKeptCapacity = std::size_t{256} * 1024;
// Reads of a full receive buffer taken in one turn: a flooding peer cannot hold the loop.
constexpr int kReadsPerTurn = 4;
}  // namespace

CDataClient::CDataClient(CDataServer* server, UniqueFd socket, const PeerAddress& peer, std::uint64_t order,
                         std::int64_t connectedSinceMs)
    : server_(server),
      socket_(std::move(socket)),
      peer_(peer),
      order_(order),
      connectedSinceMs_(connectedSinceMs),
      handler_(server->Registry(), [this](const LinkWrite& write) { server_->HandleWrite(peer_, write); }) {}

CDataClient::~CDataClient() { Close(); }

void CDataClient::Close() { socket_.Reset(); }  // also takes it out of the server's epoll set

bool CDataClient::Drop() {
    server_->Remove(this);
    return false;
}

void CDataClient::OnReceive(bool peerClosed) {
    const std::size_t capacity = server_->ReceiveBufferSize();
    for (int read = 0; read < kReadsPerTurn; ++read) {
        const ssize_t received = ::recv(socket_.get(), server_->ReceiveBuffer(), capacity, 0);
        if (received < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) Drop();
            return;
        }
        if (received == 0) {  // the peer closed: send what is still queued if it can, then go
            if (Flush()) Drop();
            return;
        }
        handler_.Receive(server_->ReceiveBuffer(), static_cast<std::size_t>(received));
        std::uint64_t requests = 0;
        bool open = true;
        while (open && handler_.HandleNext(output_)) {
            ++requests;
            if (UnsentOutput() >= kFlushThreshold) open = Flush();
        }
        ForwardingCounters::Add(server_->MutableCounters().requests, requests);  // once per receive
        if (!open || !Flush()) return;
        // A short read emptied the socket and the next input brings a new event; but when the
        // peer's close came with this event, no event follows it: read on to the end.
        if (static_cast<std::size_t>(received) < capacity && !peerClosed) return;
    }
    // A peer that keeps the socket full gets its turn again after the others.
    server_->Rearm(this);
}

void CDataClient::OnSend() { Flush(); }

bool CDataClient::Flush() {
    while (sent_ < output_.size()) {
        const ssize_t n =
            ::send(socket_.get(), output_.data() + sent_, output_.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent_ += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;  // the socket reports writable when it has room again
        } else {
            return Drop();  // a failed send ends the connection
        }
    }
    if (sent_ == output_.size()) {
        output_.clear();
        sent_ = 0;
        if (output_.capacity() > kKeptCapacity) output_.shrink_to_fit();
        return true;
    }
    if (UnsentOutput() > CDataServer::kMaxUnsentOutput) return Drop();
    if (sent_ >= kFlushThreshold) {  // keep only what is still to go
        output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(sent_));
        sent_ = 0;
    }
    return true;
}
