// A small value that one writer at a time publishes and any number of readers copy without
// ever waiting for the writer: a sequence lock. The writer makes the sequence odd while it
// changes the words; a reader that finds it odd, or changed by the time it has read them,
// reads again, so it always gets one whole published value. T is trivially copyable and a
// whole number of 8-byte words.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sched.h>
#include <type_traits>

template <class T>
class SeqLockSnapshot {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % sizeof(std::uint64_t) == 0);

public:
    explicit SeqLockSnapshot(const T& initial = T{}) { Store(initial); }
    SeqLockSnapshot(const SeqLockSnapshot&) = delete;
    SeqLockSnapshot& operator=(const SeqLockSnapshot&) = delete;

    // Writers are serialised by the caller (the owner's own lock).
    void Store(const T& value) {
        std::uint64_t words[kWords];
        std::memcpy(words, &value, sizeof value);
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        // Release stores: a reader that sees any new word also sees the odd sequence before it.
        for (std::size_t i = 0; i < kWords; ++i) words_[i].store(words[i], std::memory_order_release);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    T Load() const {
        for (;;) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            if (before & 1) {  // a writer is between its two steps
                sched_yield();
                continue;
            }
            // Acquire loads: a word of a newer write brings its odd sequence along, so the
            // check below sees that it changed. Each word goes straight into its place in the
            // value, which the compiler keeps in registers.
            T value;
            for (std::size_t i = 0; i < kWords; ++i) {
                const std::uint64_t word = words_[i].load(std::memory_order_acquire);
                std::memcpy(reinterpret_cast<unsigned char*>(&value) + i * sizeof word, &word, sizeof word);
            }
            if (sequence_.load(std::memory_order_relaxed) == before) return value;
        }
    }

private:
    static constexpr std::size_t kWords = sizeof(T) / sizeof(std::uint64_t);
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::uint64_t> words_[kWords];
};
