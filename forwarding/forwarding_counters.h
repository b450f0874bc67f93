// What the data server has done since it was made: counted on its thread where it happens,
// read once a second by the status window (or once a minute by the headless status line).
// Relaxed atomics: each figure is exact by itself, none needs another of the same moment, and
// counting never makes the data path wait.
#pragma once

#include <atomic>
#include <cstdint>

struct ForwardingCounters {
    std::atomic<std::uint64_t> requests{0};  // read and write requests handled
    std::atomic<std::uint64_t> writes{0};    // write requests, refused ones too
    std::atomic<std::uint64_t> refusedPeers{0};
    std::atomic<std::uint64_t> refusedWrites{0};

    static void Add(std::atomic<std::uint64_t>& counter, std::uint64_t n = 1) {
        counter.fetch_add(n, std::memory_order_relaxed);
    }
    static std::uint64_t Read(const std::atomic<std::uint64_t>& counter) {
        return counter.load(std::memory_order_relaxed);
    }
};
