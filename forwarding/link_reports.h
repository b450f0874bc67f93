// How the short-lived workers of the TCP client and serial links reach the windows: a beep, a
// message box text, the TCP client's report, and the worker's end with its result. Any thread
// calls them; the receiver decides how each reaches the GUI thread (the main window posts
// them). Closing the channel, when the window goes, waits for a call in progress and drops
// every later one, so a worker that outlives the window touches nothing of it.
#pragma once

#include <functional>
#include <mutex>
#include <string>

class LinkReportChannel {
public:
    struct Receiver {
        std::function<void()> beep;
        std::function<void(const std::string& text)> message;
        std::function<void(const std::string& text)> tcpClientReport;
        std::function<void(int result)> finished;  // 0 success, -1 failure
    };

    explicit LinkReportChannel(Receiver receiver) : receiver_(std::move(receiver)) {}
    LinkReportChannel(const LinkReportChannel&) = delete;
    LinkReportChannel& operator=(const LinkReportChannel&) = delete;

    void Close();

    void Beep();
    void Message(const std::string& text);
    void TcpClientReport(const std::string& text);
    void Finished(int result);

private:
    template <typename Function, typename... Args>
    void Call(const Function& function, const Args&... args) {
        std::lock_guard lock(mutex_);
        if (open_ && function) function(args...);
    }

    std::mutex mutex_;
    Receiver receiver_;
    bool open_ = true;
};
