// Lets a data sink's callbacks reach the items until Close(). A server may still be inside a
// call when Unadvise returns, so Close waits for a callback in progress: once it returns,
// nothing the sink delivers lands on an item. Callbacks of one sink pass one at a time; Close
// is also safe from inside one.
#pragma once

#include <mutex>

class DeliveryGate {
public:
    // Held for the whole callback; it owns no lock, and the callback must do nothing, once
    // the gate is closed.
    std::unique_lock<std::recursive_mutex> Enter() {
        std::unique_lock lock(mutex_);
        if (!open_) lock.unlock();
        return lock;
    }

    void Close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }

private:
    std::recursive_mutex mutex_;
    bool open_ = true;
};
