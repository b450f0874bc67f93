// One accepted peer of the data server: receives its frames, queues the replies and sends
// them as the socket takes them. The server owns and deletes it.
#pragma once

#include "forwarding/address_list.h"
#include "forwarding/frame_handler.h"
#include "platform/files/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CDataServer;

class CDataClient {
public:
    // `order` sorts the peers as they came; `connectedSinceMs` is the wall clock then.
    CDataClient(CDataServer* server, UniqueFd socket, const PeerAddress& peer, std::uint64_t order,
                std::int64_t connectedSinceMs);
    ~CDataClient();  // closes the socket
    CDataClient(const CDataClient&) = delete;
    CDataClient& operator=(const CDataClient&) = delete;

    int Socket() const { return socket_.get(); }
    bool Closed() const { return !socket_; }
    std::size_t UnsentOutput() const { return output_.size() - sent_; }
    const PeerAddress& Peer() const { return peer_; }
    std::uint64_t Order() const { return order_; }
    std::int64_t ConnectedSinceMs() const { return connectedSinceMs_; }

    // Readable, or the peer hung up (`peerClosed`: the event said so): handles what arrived;
    // removes itself from the server when the peer has closed, the socket failed or too much
    // output is waiting.
    void OnReceive(bool peerClosed);
    // Writable again after a send that did not take everything.
    void OnSend();
    // Closes the socket; the server calls it when it removes the connection.
    void Close();

private:
    // Sends what the socket takes now. False when the connection was removed.
    bool Flush();
    bool Drop();

    CDataServer* const server_;
    UniqueFd socket_;
    const PeerAddress peer_;
    const std::uint64_t order_;
    const std::int64_t connectedSinceMs_;
    FrameHandler handler_;
    std::vector<std::uint8_t> output_;  // replies; the first `sent_` bytes have gone out
    std::size_t sent_ = 0;
};
