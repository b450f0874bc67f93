#include "ui/items/browse_worker.h"

#include "platform/concurrency/posted_calls.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Shared with the worker thread, which may outlive the dialog while a call hangs.
struct BrowseWorker::State {
    explicit State(ComPtr<IOPCBrowseServerAddressSpace> browse) : browser(std::move(browse)) {}

    const AddressSpaceBrowser browser;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    PostedCalls* receiver = nullptr;  // null once the dialog has gone
    std::function<void()> delivered;
    bool stop = false;

    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stop || !jobs.empty(); });
                if (stop) return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            Result result = job(browser);
            std::lock_guard lock(mutex);
            if (!receiver) return;
            receiver->Post([result = std::move(result), delivered = delivered] {
                if (result) result();
                delivered();
            });
        }
    }
};

BrowseWorker::BrowseWorker(ComPtr<IOPCBrowseServerAddressSpace> browse)
    : state_(std::make_shared<State>(std::move(browse))), receiver_(std::make_unique<PostedCalls>()) {
    state_->receiver = receiver_.get();
    state_->delivered = [this] { Delivered(); };
    std::thread([state = state_] { state->Run(); }).detach();
}

BrowseWorker::~BrowseWorker() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
        state_->receiver = nullptr;
        state_->jobs.clear();
    }
    state_->wake.notify_all();
    receiver_.reset();  // drops results posted and not yet delivered
}

void BrowseWorker::Post(Job job) {
    {
        std::lock_guard lock(state_->mutex);
        state_->jobs.push_back(std::move(job));
    }
    state_->wake.notify_all();
    if (++outstanding_ == 1 && onBusyChanged_) onBusyChanged_(true);
}

bool BrowseWorker::Busy() const { return outstanding_ > 0; }

void BrowseWorker::Delivered() {
    if (--outstanding_ == 0 && onBusyChanged_) onBusyChanged_(false);
}
