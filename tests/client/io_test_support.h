// Shared pieces of the client I/O tests: an event recorder installed as the shell receiver,
// and small value helpers.
#pragma once

#include "platform/com/types.h"
#include "platform/shell/shell.h"
#include "platform/strings/string_table.h"
#include "tests/support/messages.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
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
    // Waits until an event that starts with `prefix` (and holds `part`) has arrived and
    // returns it; "" after `seconds`.
    std::string WaitFor(const std::string& prefix, const std::string& part = "", int seconds = 20) {
        std::unique_lock lock(mutex_);
        std::string found;
        changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
            for (const auto& e : events_)
                if (e.rfind(prefix, 0) == 0 && e.find(part) != std::string::npos) {
                    found = e;
                    return true;
                }
            return false;
        });
        return found;
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
