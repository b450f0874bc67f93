// The shell receiver of the tests: records the event log lines with the thread that reported
// each, the item count and the status texts, and lets a test wait for events that server or
// worker threads report.
#pragma once

#include "platform/shell/shell.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EventRecorder : public ShellReceiver {
public:
    EventRecorder() { InstallShellReceiver(this); }
    ~EventRecorder() override { InstallShellReceiver(nullptr); }

    void AddEvent(int, const std::string& text) override {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard lock(mutex_);
            hook = onEvent_;
        }
        if (hook) hook(text);
        std::lock_guard lock(mutex_);
        events_.push_back(text);
        threads_.push_back(std::this_thread::get_id());
        changed_.notify_all();
    }
    void AddToItemCount(int delta) override {
        std::lock_guard lock(mutex_);
        itemCount_ += delta;
    }
    void SetStatusText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statusTexts_.push_back(text);
    }

    // Runs on the reporting thread before the event is stored.
    void SetOnEvent(std::function<void(const std::string&)> hook) {
        std::lock_guard lock(mutex_);
        onEvent_ = std::move(hook);
    }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The thread that reported the event at `index`.
    std::thread::id EventThread(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return threads_.at(index);
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        threads_.clear();
    }
    int ItemCount() const {
        std::lock_guard lock(mutex_);
        return itemCount_;
    }
    std::vector<std::string> StatusTexts() const {
        std::lock_guard lock(mutex_);
        return statusTexts_;
    }
    void ClearStatusTexts() {
        std::lock_guard lock(mutex_);
        statusTexts_.clear();
    }
    int CountOf(const std::string& text) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(events_.begin(), events_.end(), text));
    }
    // Events that start with `prefix` and end with `suffix` (a text with a number between).
    int CountMatching(const std::string& prefix, const std::string& suffix) const {
        std::lock_guard lock(mutex_);
        return CountMatchingLocked(prefix, suffix);
    }

    bool WaitForMatching(const std::string& prefix, const std::string& suffix, int times = 1,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return CountMatchingLocked(prefix, suffix) >= times; });
    }
    // Waits until `text` has been reported `times` times; false after `timeout`.
    bool WaitFor(const std::string& text, int times = 1, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout,
                                 [&] { return std::count(events_.begin(), events_.end(), text) >= times; });
    }
    // Waits until an event that starts with `prefix` (and holds `part`) has arrived and
    // returns it; "" after `seconds`.
    std::string WaitForEvent(const std::string& prefix, const std::string& part = "", int seconds = 20) {
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
    int CountMatchingLocked(const std::string& prefix, const std::string& suffix) const {
        return static_cast<int>(std::count_if(events_.begin(), events_.end(), [&](const std::string& e) {
            return e.size() >= prefix.size() + suffix.size() && e.compare(0, prefix.size(), prefix) == 0 &&
                   e.compare(e.size() - suffix.size(), suffix.size(), suffix) == 0;
        }));
    }

    std::function<void(const std::string&)> onEvent_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;  // beside events_, one per event
    std::vector<std::string> statusTexts_;
    int itemCount_ = 0;
};
