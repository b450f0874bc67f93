// Shared pieces of the client I/O tests: an event recorder installed as the shell receiver,
// and small value helpers.
#pragma once

#include "platform/com/types.h"
#include "platform/shell/shell.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class EventRecorder : public ShellReceiver {
public:
    EventRecorder() { InstallShellReceiver(this); }
    ~EventRecorder() override { InstallShellReceiver(nullptr); }
    void AddEvent(int, const std::string& text) override {
        std::lock_guard lock(mutex_);
        events_.push_back(text);
        changed_.notify_all();
    }
    void AddToItemCount(int) override {}
    void SetStatusText(const std::string&) override {}

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }
    // Waits until an event starting with `prefix` has arrived; false after `seconds`.
    bool WaitFor(const std::string& prefix, int seconds = 10) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
            for (const auto& e : events_)
                if (e.rfind(prefix, 0) == 0) return true;
            return false;
        });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

inline VARIANT I4Value(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
