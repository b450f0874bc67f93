#include "simserver/subscription_scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace simserver {

namespace {

using TimePoint = SchedulerClock::time_point;
constexpr TimePoint kNever = TimePoint::max();

// The entry that the current pool thread is running, so that Remove called from inside a
// run does not wait for itself.
thread_local const void* tCurrentState = nullptr;
thread_local SubscriptionScheduler::Id tCurrentId = 0;

}  // namespace

struct SubscriptionScheduler::State {
    struct Entry {
        std::weak_ptr<ScheduledWork> work;
        TimePoint due = kNever;  // planned run; in `queue` when idle and not kNever
        TimePoint wokenDuringRun = kNever;
        bool running = false;
        bool removed = false;
    };

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable runFinished;
    std::map<Id, Entry> entries;
    std::set<std::pair<TimePoint, Id>> queue;  // idle entries by due time
    Id nextId = 1;
    bool stopping = false;
    std::vector<std::thread> threads;

    void Enqueue(Id id, Entry& e, TimePoint when) {
        if (e.due != kNever) queue.erase({e.due, id});
        e.due = when;
        if (when != kNever) queue.insert({when, id});
    }
};

std::shared_ptr<SubscriptionScheduler> SubscriptionScheduler::Shared() {
    static std::mutex mutex;
    static std::weak_ptr<SubscriptionScheduler> shared;
    std::lock_guard lock(mutex);
    auto scheduler = shared.lock();
    if (!scheduler) {
        unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
        scheduler = std::make_shared<SubscriptionScheduler>(threads);
        shared = scheduler;
    }
    return scheduler;
}

SubscriptionScheduler::SubscriptionScheduler(unsigned threadCount) : state_(std::make_shared<State>()) {
    threadCount = std::max(threadCount, 1u);
    for (unsigned i = 0; i < threadCount; ++i) state_->threads.emplace_back([state = state_] { WorkerLoop(state); });
}

SubscriptionScheduler::~SubscriptionScheduler() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        threads.swap(state_->threads);
    }
    state_->workAvailable.notify_all();
    // The last holder may let go from inside a run on one of our own threads: that thread
    // cannot join itself, so it is detached and ends on its own (it holds the state).
    for (auto& t : threads) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();
        else
            t.join();
    }
}

SubscriptionScheduler::Id SubscriptionScheduler::Add(std::weak_ptr<ScheduledWork> work, TimePoint firstRun) {
    std::lock_guard lock(state_->mutex);
    Id id = state_->nextId++;
    auto& e = state_->entries[id];
    e.work = std::move(work);
    state_->Enqueue(id, e, firstRun);
    state_->workAvailable.notify_one();
    return id;
}

void SubscriptionScheduler::WakeAt(Id id, TimePoint when) {
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->entries.find(id);
        if (it == state_->entries.end() || it->second.removed) return;
        auto& e = it->second;
        if (e.running) {
            e.wokenDuringRun = std::min(e.wokenDuringRun, when);
            return;
        }
        if (when >= e.due) return;
        state_->Enqueue(id, e, when);
    }
    state_->workAvailable.notify_one();
}

void SubscriptionScheduler::Remove(Id id) {
    std::unique_lock lock(state_->mutex);
    auto it = state_->entries.find(id);
    if (it == state_->entries.end()) return;
    auto& e = it->second;
    if (e.running) {
        e.removed = true;
        if (tCurrentState == state_.get() && tCurrentId == id) return;  // the run erases it
        state_->runFinished.wait(lock, [&] { return state_->entries.find(id) == state_->entries.end(); });
        return;
    }
    state_->Enqueue(id, e, kNever);
    state_->entries.erase(it);
}

bool SubscriptionScheduler::IsRunningOnThisThread(Id id) const {
    return tCurrentState == state_.get() && tCurrentId == id;
}

void SubscriptionScheduler::WorkerLoop(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    while (!state->stopping) {
        if (state->queue.empty()) {
            state->workAvailable.wait(lock);
            continue;
        }
        auto [due, id] = *state->queue.begin();
        TimePoint now = SchedulerClock::now();
        if (due > now) {
            state->workAvailable.wait_until(lock, due);
            continue;
        }
        state->queue.erase(state->queue.begin());
        auto& entry = state->entries[id];
        entry.due = kNever;
        entry.running = true;
        std::shared_ptr<ScheduledWork> work = entry.work.lock();
        lock.unlock();

        TimePoint next = kNever;
        if (work) {
            tCurrentState = state.get();
            tCurrentId = id;
            next = work->RunDue(now);
            // Dropping the reference may end the work's owner, which removes the entry from
            // this very thread: still marked as the current run so that it does not wait.
            work.reset();
            tCurrentState = nullptr;
            tCurrentId = 0;
        }

        lock.lock();
        auto it = state->entries.find(id);
        if (it == state->entries.end()) continue;
        auto& e = it->second;
        e.running = false;
        if (e.removed || e.work.expired()) {
            state->entries.erase(it);
            state->runFinished.notify_all();
            continue;
        }
        next = std::min(next, e.wokenDuringRun);
        e.wokenDuringRun = kNever;
        state->Enqueue(id, e, next);
        state->runFinished.notify_all();
    }
}

}  // namespace simserver
