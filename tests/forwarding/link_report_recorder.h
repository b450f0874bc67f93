// The calls a link worker makes on its report channel, as texts ("beep", "message <text>",
// "tcp <text>", "finished <result>"), recorded from any thread and waited for with a deadline.
#pragma once

#include "forwarding/link_reports.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LinkReportRecorder {
public:
    std::shared_ptr<LinkReportChannel> Channel() {
        return std::make_shared<LinkReportChannel>(LinkReportChannel::Receiver{
            .beep = [this] { Add("beep"); },
            .message = [this](const std::string& text) { Add("message " + text); },
            .tcpClientReport = [this](const std::string& text) { Add("tcp " + text); },
            .finished = [this](int result) { Add("finished " + std::to_string(result)); },
        });
    }
    bool WaitForCount(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_.size() >= count; });
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void Add(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
};
