// Shared pieces of the connection tests: a shell receiver that records events, the item count
// and status texts; a client notifier that records what reaches it; the expected text of a
// message; waiting for a condition.
#pragma once

#include "opc/client/client_notifier.h"
#include "platform/shell/shell.h"
#include "platform/strings/string_table.h"
#include "tests/support/messages.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

inline unsigned Hex(long long hr) { return static_cast<unsigned>(hr); }

// Polls `condition` until it holds; false after `timeout`. For state that has no
// notification of its own (item values written by server threads).
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class ConnectionRecorder : public ShellReceiver {
public:
    ConnectionRecorder() { InstallShellReceiver(this); }
    ~ConnectionRecorder() override { InstallShellReceiver(nullptr); }

    void AddEvent(int, const std::string& text) override {
        std::lock_guard lock(mutex_);
        events_.push_back(text);
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

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }
    int ItemCount() const {
        std::lock_guard lock(mutex_);
        return itemCount_;
    }
    std::vector<std::string> StatusTexts() const {
        std::lock_guard lock(mutex_);
        return statusTexts_;
    }
    int CountOf(const std::string& text) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(events_.begin(), events_.end(), text));
    }
    // Events that start with `prefix` and end with `suffix` (a text with a number between).
    int CountMatching(const std::string& prefix, const std::string& suffix) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                              [&](const std::string& e) { return Matches(e, prefix, suffix); }));
    }
    bool WaitForMatching(const std::string& prefix, const std::string& suffix, int times = 1,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return std::count_if(events_.begin(), events_.end(), [&](const std::string& e) {
                       return Matches(e, prefix, suffix);
                   }) >= times;
        });
    }
    // Waits until `text` has been reported `times` times; false after `timeout`.
    bool WaitFor(const std::string& text, int times = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return std::count(events_.begin(), events_.end(), text) >= times;
        });
    }

private:
    static bool Matches(const std::string& e, const std::string& prefix, const std::string& suffix) {
        return e.size() >= prefix.size() + suffix.size() && e.compare(0, prefix.size(), prefix) == 0 &&
               e.compare(e.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::string> statusTexts_;
    int itemCount_ = 0;
};

class RecordingNotifier : public ClientNotifier {
public:
    RecordingNotifier() { SetClientNotifier(this); }
    ~RecordingNotifier() override { SetClientNotifier(nullptr); }

    void ServerShutdownRequested(CVServer* server) override { Record(shutdowns_, server); }
    void ServerStoppedAnswering(CVServer* server) override { Record(deaths_, server); }

    std::vector<CVServer*> Shutdowns() const {
        std::lock_guard lock(mutex_);
        return shutdowns_;
    }
    std::vector<CVServer*> Deaths() const {
        std::lock_guard lock(mutex_);
        return deaths_;
    }
    bool WaitForDeath(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return !deaths_.empty(); });
    }

private:
    void Record(std::vector<CVServer*>& list, CVServer* server) {
        std::lock_guard lock(mutex_);
        list.push_back(server);
        changed_.notify_all();
    }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CVServer*> shutdowns_;
    std::vector<CVServer*> deaths_;
};
