// The TCP data server: peers connect to it (port 8890 in the program) and poll item values or
// write items with forwarding frames. It runs on the event loop of the thread that creates it
// (the GUI thread): the listening socket and the connections are non-blocking sockets in one
// epoll set, and one QSocketNotifier on that set wakes the loop, so a busy server handles all
// connections that are ready in one turn.
//
// The forwarding settings decide where it listens, which peers it takes (others are closed at
// once and logged once per address and minute), who may write and how many peers it serves.
// Every write a peer sends is one event: its audit line, or its refusal. What it does is
// counted in ForwardingCounters for the status window.
//
// The main window wires it with:
//   dataServer.SetMessageBox([this](const std::string& text) { /* QMessageBox */ });
//   dataServer.ApplySettings(ReadForwardingSettings().settings);
//   dataServer.StartServer(settings.port);
#pragma once

#include "forwarding/forwarding_counters.h"
#include "forwarding/frame_handler.h"
#include "forwarding/peer_policy.h"
#include "platform/files/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CDataClient;
class CItemAddressRegistry;
class QSocketNotifier;

class CDataServer {
public:
    enum class StartFailure { kNone, kCreate, kBind, kListen };
    static constexpr std::uint16_t kPort = 8890;  // where peers find the program

    // Peers read and write the items of `registry`.
    explicit CDataServer(const CItemAddressRegistry& registry);
    // Closes every connection (without telling the peers) and the listening socket.
    ~CDataServer();
    CDataServer(const CDataServer&) = delete;
    CDataServer& operator=(const CDataServer&) = delete;

    // Shows a failure text to the operator; the default writes it to standard error.
    void SetMessageBox(std::function<void(const std::string& text)> show);
    // What write requests do; the default writes through the item's group. Null drops them.
    void SetItemWriter(ItemWriter writer);

    // The rules for peers and writes, and the address to listen on. Before StartServer it only
    // keeps them. While serving, the next peers and writes follow them at once, connected
    // peers that the new allow-list refuses are closed, and a new address or port is listened
    // on; when that fails the message is shown and the old listener stays. False then.
    bool ApplySettings(const ForwardingSettings& settings);
    const ForwardingSettings& Settings() const { return settings_; }

    // Listens on `port` (0: any free port) at the settings' address (all IPv4 addresses when
    // they name none), with address reuse and a backlog of 10. On failure shows
    // "创建SOCKET失败！", "绑定端口失败！" or "监听失败！" and returns false; LastFailure tells
    // which step failed.
    bool StartServer(std::uint16_t port);
    StartFailure LastFailure() const { return failure_; }
    static const char* FailureText(StartFailure failure);
    // The port listened on, 0 before a successful start.
    std::uint16_t Port() const { return port_; }

    // Takes the connection out of the set and deletes it; one not in the set is left alone.
    void Remove(CDataClient* connection);
    std::size_t ConnectionCount() const { return connections_.size(); }

    // The connected peers, in the order they came (this thread only).
    struct PeerInfo {
        std::string address;
        std::int64_t connectedSinceMs;  // wall clock, milliseconds since 1970
    };
    std::vector<PeerInfo> Peers() const;
    // Any thread.
    const ForwardingCounters& Counters() const { return counters_; }
    // Reply bytes queued for peers that the sockets have not taken yet.
    std::size_t UnsentOutput() const;

    // Unsent reply bytes above which a connection is dropped: a peer that does not read its
    // replies cannot grow our memory.
    static constexpr std::size_t kMaxUnsentOutput = std::size_t{1} << 20;

private:
    friend class CDataClient;

    bool Fail(StartFailure failure);
    // A listening socket for `port` at the settings' address, added to the epoll set.
    UniqueFd OpenListener(std::uint16_t port);
    void OnEvents();
    void OnAccept();
    void Accept(UniqueFd socket, const std::optional<PeerAddress>& peer);
    // Closes a peer that the rules refuse; logs it once per address per minute.
    void Refuse(const PeerAddress& peer, PeerPolicy::Admission why);
    // A write request of a connection's peer: refused, or written and audited.
    void HandleWrite(const PeerAddress& peer, const LinkWrite& write);
    // Reports the connection again in the next round if it is readable or writable now.
    void Rearm(CDataClient* connection);
    std::uint8_t* ReceiveBuffer() { return receiveBuffer_.data(); }
    std::size_t ReceiveBufferSize() const { return receiveBuffer_.size(); }
    const CItemAddressRegistry& Registry() const { return registry_; }
    ForwardingCounters& MutableCounters() { return counters_; }

    const CItemAddressRegistry& registry_;
    std::function<void(const std::string&)> showMessage_;
    ItemWriter writer_ = WriteThroughGroup;
    StartFailure failure_ = StartFailure::kNone;
    ForwardingSettings settings_;
    PeerPolicy policy_;
    RefusalLog refusals_;
    ForwardingCounters counters_;
    std::uint64_t accepted_ = 0;  // orders the peers as they came
    UniqueFd listener_;
    UniqueFd epoll_;
    UniqueFd spareDescriptor_;  // given up to accept and shed a peer when descriptors run out
    std::uint16_t port_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    // The connection set, ordered by address; owns the connections.
    std::map<const CDataClient*, std::unique_ptr<CDataClient>> connections_;
    // Connections removed while a batch of events is handled, deleted after it: later events
    // of the same batch may still name them.
    std::vector<std::unique_ptr<CDataClient>> retired_;
    bool inBatch_ = false;
    std::vector<std::uint8_t> receiveBuffer_;
};
