// Shared pieces of the connection tests: the event recorder; a client notifier that records what reaches it; the
// expected text of a message; waiting for a condition.
#pragma once

#include "opc/client/client_notifier.h"
#include "platform/shell/shell.h"
#include "platform/strings/string_table.h"
#include "tests/support/event_recorder.h"
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
