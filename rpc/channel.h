// The client's end of one connection to a server host: a thread running the connection's event
// loop, the calls other threads make through it, and a dispatch thread that runs the callbacks
// the host sends, so that a callback waiting on a client lock never stalls the connection.
//
// A call made from any thread blocks that thread until the host answers or the connection is
// lost; it then fails with RPC_S_CALL_FAILED. A host from which nothing at all comes for the
// liveness timeout is dropped, so no call waits longer than that for a host that has vanished.
#pragma once

#include "platform/com/hresult.h"
#include "platform/com/types.h"
#include "rpc/liveness.h"
#include "rpc/opc.capnp.h"
#include "rpc/tls_credentials.h"

#include <kj/async.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace rpc {


class Channel : public std::enable_shared_from_this<Channel> {
public:
    // Connects to host:port ("unix:PATH" and port 0 for a Unix socket), over mutual TLS when
    // `tls` is given (the host's certificate must name `host`), and waits for the host's first
    // answer; nullptr with *hr set when the host cannot be reached or refuses the connection.
    static std::shared_ptr<Channel> Connect(const std::string& host, unsigned port, HRESULT* hr,
                                            Liveness liveness = {},
                                            std::shared_ptr<const TlsCredentials> tls = nullptr);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // False once the connection is lost; a lost channel stays lost.
    bool Alive() const;

    // Runs `start` on the connection's thread and waits for the promise it returns. `start` may
    // capture the caller's locals by reference. Gives kHostUnavailable when the channel is lost,
    // RPC_S_CALL_FAILED when the call is lost with the connection, and
    // RPC_E_CANTCALLOUT_ININPUTSYNCCALL when called on the connection's own thread.
    HRESULT Call(const std::function<kj::Promise<HRESULT>()>& start);

    // The host's first capability (on the connection's thread only).
    rpcwire::Host::Client& Host();

    // Destroys a capability on the connection's thread (it may not be destroyed elsewhere).
    void Drop(rpcwire::Object::Client&& object);

    // Runs `callback` on the dispatch thread, in order; the promise resolves (on the connection's
    // thread) once it has run. Only on the connection's thread.
    kj::Promise<void> Dispatch(std::function<void()> callback);

    // Runs `callback` on the dispatch thread after what is queued there; any thread, and even
    // while the connection's loop is being torn down.
    void DispatchAndForget(std::function<void()> callback);

    // True on the connection's own thread.
    bool OnLoopThread() const;

    struct State;

private:
    Channel();
    std::unique_ptr<State> state_;
};

// What the callbacks a host has sent and the client's sinks have not yet taken may hold, in
// bytes, before the client stops reading from the host (64 MiB unless set; for connections
// made after the call).
void SetCallbackFlowLimit(std::size_t bytes);

// A capability for the client's sink object, which answers IOPCShutdown, IOPCDataCallback or
// IAdviseSink; each call the host makes reaches the sink on the channel's dispatch thread.
// Only on the connection's thread.
rpcwire::Sink::Client MakeSinkServer(const std::shared_ptr<Channel>& channel, IUnknown* sink);

}  // namespace rpc
