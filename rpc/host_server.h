// The server host: listens for clients, lends each one the objects it creates from the class
// registry, and releases everything a client held when its connection ends.
#pragma once

#include "rpc/tls_credentials.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rpc {

inline constexpr unsigned kDefaultHostPort = 8891;

struct HostOptions {
    std::string listenAddress = "127.0.0.1";  // loopback unless opened on purpose
    unsigned port = kDefaultHostPort;         // 0 picks a free port
    std::vector<std::string> allowedClients;  // peer addresses; empty lets every peer in
    std::string persistDir;                   // where clients may load and save; empty: nowhere
    // When set, the host listens on this Unix socket instead, and admits only its own user.
    std::string localSocket;
    // On TCP: the host's certificate and key, and the CA whose certificate every client must
    // present. Empty: plain TCP, where nobody is authenticated and nothing is encrypted.
    TlsFiles tls;
    unsigned callThreads = 8;                 // clients' calls that may run at once
    std::size_t maxConnections = 64;          // more clients than this are turned away
    std::size_t maxObjectsPerClient = 100000;  // servers, groups and enumerators lent at once
    std::size_t maxSinksPerClient = 10000;     // callbacks advised at once
    // A client that leaves this many bytes of replies and callbacks unread is cut off.
    std::size_t maxUnreadBytes = std::size_t{64} << 20;
    // A client whose callbacks (data changes, completions) waiting to be sent pass this many
    // bytes is cut off.
    std::size_t maxWaitingCallbackBytes = std::size_t{64} << 20;
    // A client from which nothing came for this long is cut off; clients ping every second.
    std::chrono::milliseconds idleTimeout{120'000};
    // A TLS client that has not finished its handshake by then is cut off.
    std::chrono::milliseconds handshakeTimeout{10'000};
    // For tests: runs on the loop thread as the stop begins, before the connections close.
    std::function<void()> onStopping;
};

class HostServer {
public:
    HostServer();
    ~HostServer();  // Stop()
    HostServer(const HostServer&) = delete;
    HostServer& operator=(const HostServer&) = delete;

    // Listens on the options' address; false with *error set when it cannot.
    bool Start(const HostOptions& options, std::string* error);
    // The port listened on.
    unsigned Port() const;
    // Clients connected now.
    std::size_t ConnectionCount() const;
    // Accepts that failed (no descriptor free, say) and were tried again.
    std::size_t AcceptFailures() const;
    // Closes every connection (each client's objects are released) and ends the loop.
    void Stop();

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace rpc
