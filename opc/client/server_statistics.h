// What a server connection has been through, for the status window: since when it is
// connected, how often it was connected again, how many item values its data changes have
// delivered and its last error with the time it happened. Written where it happens (the GUI
// thread, the document's worker, the watchdog, the servers' callback threads) and read by any
// thread without a lock: numbers are relaxed atomics, the last error a sequence-locked
// snapshot, so neither the data path nor a reader ever waits for the other.
#pragma once

#include "platform/concurrency/seqlock_snapshot.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class ServerStatistics {
public:
    struct LastError {
        std::int64_t unixMs;  // 0: none yet
        char text[248];       // the event's text, cut to fit, zero-terminated
    };

    void OnConnected(std::int64_t unixMs);
    void OnDisconnected() { connectedSinceMs_.store(0, std::memory_order_relaxed); }
    void AddUpdates(std::uint64_t count) { updates_.fetch_add(count, std::memory_order_relaxed); }
    void NoteError(const std::string& text, std::int64_t unixMs);

    // 0 while not connected.
    std::int64_t ConnectedSinceMs() const { return connectedSinceMs_.load(std::memory_order_relaxed); }
    // Connections after the first one.
    std::uint64_t Reconnects() const;
    std::uint64_t Updates() const { return updates_.load(std::memory_order_relaxed); }
    LastError LastErrorRecord() const { return lastError_.Load(); }

    // The wall clock in milliseconds since 1970, as these figures keep it.
    static std::int64_t NowMs();

private:
    std::atomic<std::int64_t> connectedSinceMs_{0};
    std::atomic<std::uint64_t> connects_{0};
    std::atomic<std::uint64_t> updates_{0};
    std::mutex errorWriters_;  // errors come from several threads; readers never take it
    SeqLockSnapshot<LastError> lastError_;
};
