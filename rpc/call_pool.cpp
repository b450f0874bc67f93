#include "rpc/call_pool.h"

namespace rpc {

CallPool::CallPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

CallPool::~CallPool() {
    Stop();
}

bool CallPool::Run(std::function<void()>& work) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return false;
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
    return true;
}

void CallPool::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        if (thread.joinable()) thread.join();
}

void CallPool::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to run
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        work();
        work = nullptr;  // what it held goes before the lock is taken again
        lock.lock();
    }
}

}  // namespace rpc
