// A gate for a server hook (SimConfig::addItemsHook): once armed, the next call that reaches the
// hook waits there until the gate opens (at most 30 s, so that a failed test cannot hang a
// thread), and the test can wait until a call is held.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CallGate {
public:
    // The hook to install; it holds a call only while the gate is armed.
    std::function<void()> Hook() {
        return [this] {
            std::unique_lock lock(mutex_);
            if (!armed_) return;
            armed_ = false;
            held_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
        };
    }
    void Arm() {
        std::lock_guard lock(mutex_);
        armed_ = true;
    }
    // True once a call is held; waits at most `timeout`.
    bool WaitUntilHeld(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return held_; });
    }
    void Open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool held_ = false;
    bool open_ = false;
};
