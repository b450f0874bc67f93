// 32-bit handles for objects that a server names back to us (OPC client handles). A handle
// that a server sends is looked up here; an unknown or stale handle finds nothing and is never
// dereferenced. The low bits index a slot, the high bits count the slot's reuses, so a handle
// of a deleted object does not find the object that took its slot.
//
// Lookups run on server threads while objects are created and deleted on the main thread:
// callers look up under ReadLock() and keep it while they use what they found; Remove takes
// the lock exclusively, so an object is never deleted while a delivery is using it.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <vector>

// A reader/writer lock whose writers are not starved by a steady stream of overlapping
// readers (glibc's default prefers readers): deleting an object must not wait for server
// deliveries to pause.
class WriterPreferringSharedMutex {
public:
    WriterPreferringSharedMutex() {
        pthread_rwlockattr_t attr;
        pthread_rwlockattr_init(&attr);
        pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(&lock_, &attr);
        pthread_rwlockattr_destroy(&attr);
    }
    ~WriterPreferringSharedMutex() { pthread_rwlock_destroy(&lock_); }
    WriterPreferringSharedMutex(const WriterPreferringSharedMutex&) = delete;
    WriterPreferringSharedMutex& operator=(const WriterPreferringSharedMutex&) = delete;

    void lock() { pthread_rwlock_wrlock(&lock_); }
    void unlock() { pthread_rwlock_unlock(&lock_); }
    void lock_shared() { pthread_rwlock_rdlock(&lock_); }
    void unlock_shared() { pthread_rwlock_unlock(&lock_); }

private:
    pthread_rwlock_t lock_;
};

template <typename T>
class HandleTable {
public:
    using Handle = std::uint32_t;

    Handle Add(T* object) {
        std::unique_lock lock(mutex_);
        std::uint32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            index = static_cast<std::uint32_t>(slots_.size());
            if (index >= kMaxSlots) return 0;  // table full: the object gets no handle
            slots_.push_back({});
        }
        Slot& slot = slots_[index];
        slot.object = object;
        return MakeHandle(index, slot.generation);
    }

    void Remove(Handle handle) {
        std::unique_lock lock(mutex_);
        const std::uint32_t index = IndexOf(handle);
        if (index >= slots_.size() || slots_[index].object == nullptr ||
            MakeHandle(index, slots_[index].generation) != handle)
            return;
        Slot& slot = slots_[index];
        slot.object = nullptr;
        slot.generation = (slot.generation + 1) & kGenerationMask;
        free_.push_back(index);
    }

    // Call with ReadLock() held.
    T* Find(Handle handle) const {
        const std::uint32_t index = IndexOf(handle);
        if (handle == 0 || index >= slots_.size()) return nullptr;
        const Slot& slot = slots_[index];
        return MakeHandle(index, slot.generation) == handle ? slot.object : nullptr;
    }

    std::shared_lock<WriterPreferringSharedMutex> ReadLock() const { return std::shared_lock(mutex_); }

    // Objects that hold a handle now.
    std::size_t LiveCount() const {
        std::shared_lock lock(mutex_);
        return slots_.size() - free_.size();
    }

private:
    static constexpr int kIndexBits = 22;  // 4 million live objects
    static constexpr std::uint32_t kMaxSlots = (1u << kIndexBits) - 1;
    static constexpr std::uint32_t kGenerationMask = (1u << (32 - kIndexBits)) - 1;

    struct Slot {
        T* object = nullptr;
        std::uint32_t generation = 0;
    };

    // Index + 1 so that 0 is never a valid handle.
    static Handle MakeHandle(std::uint32_t index, std::uint32_t generation) {
        return (generation << kIndexBits) | (index + 1);
    }
    static std::uint32_t IndexOf(Handle handle) { return (handle & ((1u << kIndexBits) - 1)) - 1; }

    mutable WriterPreferringSharedMutex mutex_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> free_;
};
