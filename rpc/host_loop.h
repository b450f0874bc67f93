// The server host's side: one event loop thread serves every client connection, and the
// server objects' own threads reach it only through the loop's mailbox.
#pragma once

#include "platform/com/hresult.h"
#include "platform/com/types.h"
#include "platform/com/unknown.h"
#include "rpc/opc.capnp.h"

#include <kj/async-unix.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>

namespace rpc {

// Work handed to the loop thread from any thread, without waiting: the poster never blocks on
// the loop, so a server thread calling a sink can never deadlock with a call the loop is making
// into the same server.
// Shared by whoever may post, so that it outlives the loop.
class Mailbox {
public:
    Mailbox();
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Any thread. Work posted after Close() never runs, and is never destroyed either: what it
    // holds belongs to the loop that has gone; then false.
    bool Post(std::function<void()> work);
    // The same, except that work refused after Close() stays with the caller, for work whose
    // captures are safe to destroy on the caller's thread.
    bool TryPost(std::function<void()>& work);
    // The loop thread's task: runs posted work, in order, until Close().
    kj::Promise<void> Run(kj::UnixEventPort& port);
    // On the loop thread: drops what is waiting there, and makes later posts no-ops.
    void Close();
    bool Closed();

private:
    void Wake();
    kj::Promise<void> Drain(kj::Own<kj::UnixEventPort::FdObserver> observer);

    int eventFd_ = -1;
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
    bool closed_ = false;
};

class CallPool;
class PersistFolder;

// What the host's objects share: the mailbox of their loop, the threads that make their COM
// calls, and the one folder in which clients may load and save (none: no file access).
struct HostContext {
    std::shared_ptr<Mailbox> mailbox;
    std::shared_ptr<const PersistFolder> persistFolder;
    std::shared_ptr<CallPool> calls;
};

// What one client's connection may hold at once: objects lent to it and sinks it advised. Past
// its share a client gets E_OUTOFMEMORY for another object and CONNECT_E_ADVISELIMIT for another
// sink; what it lets go of is its to use again.
class ConnectionBudget {
public:
    ConnectionBudget(std::size_t maxObjects, std::size_t maxSinks,
                     std::size_t maxWaitingBytes = std::numeric_limits<std::size_t>::max())
        : maxObjects_(maxObjects), maxSinks_(maxSinks), maxWaitingBytes_(maxWaitingBytes) {}

    bool TakeObject() { return Take(objects_, maxObjects_); }
    void ReturnObject() { --objects_; }
    bool TakeSink() { return Take(sinks_, maxSinks_); }
    void ReturnSink() { --sinks_; }

    // Callbacks waiting for the client to take them, in bytes (CallbackBytes). Past the bound
    // the client is marked to be cut off, and false is returned.
    bool TakeWaiting(std::size_t bytes) {
        const std::size_t now = waiting_.fetch_add(bytes) + bytes;
        if (now > maxWaitingBytes_) overflowed_ = true;
        return now <= maxWaitingBytes_;
    }
    void ReturnWaiting(std::size_t bytes) { waiting_ -= bytes; }
    std::size_t WaitingBytes() const { return waiting_.load(); }
    // True once the waiting callbacks passed the bound.
    bool Overflowed() const { return overflowed_.load(); }

private:
    static bool Take(std::atomic<std::size_t>& used, std::size_t max) {
        std::size_t now = used.load();
        do {
            if (now >= max) return false;
        } while (!used.compare_exchange_weak(now, now + 1));
        return true;
    }

    const std::size_t maxObjects_;
    const std::size_t maxSinks_;
    const std::size_t maxWaitingBytes_;
    std::atomic<std::size_t> objects_{0};
    std::atomic<std::size_t> sinks_{0};
    std::atomic<std::size_t> waiting_{0};
    std::atomic<bool> overflowed_{false};
};
using Budget = std::shared_ptr<ConnectionBudget>;

// Shutdown requests posted to clients and not yet answered (or failed).
std::size_t ShutdownCallsInFlight();

// The first capability of a client's connection: creates server objects from the class
// registry and lends them.
rpcwire::Host::Client MakeHostEntry(HostContext& context, Budget budget);

// Fills `out` with `object` lent to the client: the IIDs it answers (of those the wire knows)
// and its capability. A null object lends nothing (a null capability, no IIDs); nor does a
// client that has used its budget's objects, and then the result is false.
bool Lend(HostContext& context, const Budget& budget, IUnknown* object, rpcwire::Lent::Builder out);

// A COM object for a client's sink capability: it answers IOPCShutdown, IOPCDataCallback and
// IAdviseSink, and may be called from any thread. Its calls post the arguments to the loop and
// return at once; data callbacks are streamed with a bounded window, and while the window is
// full, newer data changes of a subscription replace the older ones waiting, so a client that
// stops reading never makes the host's memory grow without bound.
// Null when the client has used its budget's sinks.
ComPtr<IUnknown> MakeSinkProxy(HostContext& context, const Budget& budget, rpcwire::Sink::Client sink);

}  // namespace rpc
