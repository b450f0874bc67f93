// The threads that run the server host's COM calls, so that the loop thread never waits on a
// server: a call that holds its server for seconds ties up one of these threads, while the loop
// goes on answering pings and the other clients' calls.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rpc {

class CallPool {
public:
    explicit CallPool(unsigned threads);
    ~CallPool();  // Stop()
    CallPool(const CallPool&) = delete;
    CallPool& operator=(const CallPool&) = delete;

    // Any thread: a free thread runs `work`, in the order posted. Work posted after Stop() is
    // refused (false) and left with the caller.
    bool Run(std::function<void()>& work);
    // Runs what is queued, waits for what runs, and ends the threads.
    void Stop();

private:
    void Serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace rpc
