// The subscription scheduler: runs work on its own threads, one run of a work at a time, and
// lets go of work promptly and safely.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "simserver/subscription_scheduler.h"

namespace simserver {
namespace {

using namespace std::chrono_literals;
constexpr auto kNever = SchedulerClock::time_point::max();

// Work whose runs are counted and can be made to wait inside.
class TestWork : public ScheduledWork {
public:
    SchedulerClock::time_point RunDue(SchedulerClock::time_point) override {
        const int inside = ++inside_;
        maxInside_ = std::max(maxInside_.load(), inside);
        std::unique_lock lock(mutex_);
        ++runs_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !hold_; });
        if (onRun_) onRun_();
        --inside_;
        finishedRuns_ = runs_;
        return again_ ? SchedulerClock::now() : kNever;
    }

    bool WaitForRuns(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return runs_ >= n; });
    }
    void Hold(bool hold) {
        std::lock_guard lock(mutex_);
        hold_ = hold;
        changed_.notify_all();
    }
    int Runs() {
        std::lock_guard lock(mutex_);
        return runs_;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    int runs_ = 0;
    std::atomic<int> finishedRuns_{0};
    bool hold_ = false;
    bool again_ = false;
    std::function<void()> onRun_;
    std::atomic<int> inside_{0};
    std::atomic<int> maxInside_{0};
};

TEST(GroupScheduler, WakeRunsSleepingWorkOnAPoolThread) {
    SubscriptionScheduler scheduler(2);
    auto work = std::make_shared<TestWork>();
    std::thread::id ranOn;
    work->onRun_ = [&] { ranOn = std::this_thread::get_id(); };
    const auto id = scheduler.Add(work, kNever);
    scheduler.Wake(id);
    ASSERT_TRUE(work->WaitForRuns(1));
    scheduler.Remove(id);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(scheduler.IsRunningOnThisThread(id));
}

TEST(GroupScheduler, OneWorkNeverRunsOnTwoThreadsAtOnce) {
    SubscriptionScheduler scheduler(4);
    auto work = std::make_shared<TestWork>();
    work->again_ = true;  // always due again at once
    const auto id = scheduler.Add(work, SchedulerClock::now());
    std::vector<std::thread> wakers;
    for (int i = 0; i < 4; ++i)
        wakers.emplace_back([&] {
            for (int k = 0; k < 200; ++k) scheduler.Wake(id);
        });
    for (auto& t : wakers) t.join();
    ASSERT_TRUE(work->WaitForRuns(50));
    scheduler.Remove(id);
    EXPECT_EQ(work->maxInside_.load(), 1);
}

TEST(GroupScheduler, RemoveWaitsForARunInProgress) {
    SubscriptionScheduler scheduler(2);
    auto work = std::make_shared<TestWork>();
    work->Hold(true);
    const auto id = scheduler.Add(work, SchedulerClock::now());
    ASSERT_TRUE(work->WaitForRuns(1));
    std::atomic<bool> removed{false};
    int finishedWhenRemoved = -1;
    std::thread remover([&] {
        scheduler.Remove(id);
        finishedWhenRemoved = work->finishedRuns_.load();
        removed = true;
    });
    EXPECT_FALSE(removed.load());
    work->Hold(false);
    remover.join();
    EXPECT_EQ(finishedWhenRemoved, 1) << "Remove returned while the run was still going";
}

TEST(GroupScheduler, RemoveFromInsideTheRunDoesNotWaitForItself) {
    SubscriptionScheduler scheduler(2);
    auto work = std::make_shared<TestWork>();
    SubscriptionScheduler::Id id = 0;
    std::atomic<bool> inside{false};
    work->again_ = true;
    work->onRun_ = [&] {
        inside = scheduler.IsRunningOnThisThread(id);
        scheduler.Remove(id);
    };
    id = scheduler.Add(work, kNever);
    scheduler.Wake(id);
    ASSERT_TRUE(work->WaitForRuns(1));
    scheduler.Remove(id);  // returns once the run has ended; it asked to run again, but is gone
    EXPECT_TRUE(inside.load());
    EXPECT_EQ(work->Runs(), 1);
}

TEST(GroupScheduler, WorkThatHasGoneIsDroppedAndTheLastOwnerMayLeaveFromARun) {
    auto scheduler = std::make_shared<SubscriptionScheduler>(2);
    {
        auto gone = std::make_shared<TestWork>();
        scheduler->Add(gone, SchedulerClock::now());
    }
    // A work that holds the pool and lets go of it during its own run.
    struct Owner : ScheduledWork {
        std::shared_ptr<SubscriptionScheduler> pool;
        std::promise<void> done;
        SchedulerClock::time_point RunDue(SchedulerClock::time_point) override {
            pool.reset();  // ends the pool on one of its own threads: it must not join itself
            done.set_value();
            return kNever;
        }
    };
    auto owner = std::make_shared<Owner>();
    owner->pool = scheduler;
    std::future<void> done = owner->done.get_future();
    scheduler->Add(owner, SchedulerClock::now());
    std::weak_ptr<SubscriptionScheduler> weak = scheduler;
    scheduler.reset();
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace simserver
