// The threads on which the simulation server delivers data changes and completions.
// A small pool runs "work" items (one per group): each run does whatever is due and says
// when it wants to run next. One work item never runs on two threads at once, so a group's
// callbacks are never concurrent with each other.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace simserver {

using SchedulerClock = std::chrono::steady_clock;

class ScheduledWork {
public:
    virtual ~ScheduledWork() = default;
    // Runs what is due at `now`; returns the time of the next wanted run
    // (SchedulerClock::time_point::max() to sleep until woken).
    virtual SchedulerClock::time_point RunDue(SchedulerClock::time_point now) = 0;
};

class SubscriptionScheduler {
public:
    using Id = std::uint64_t;

    // The pool shared by every server object alive in the process; it is created on first
    // use and its threads end when the last holder lets it go.
    static std::shared_ptr<SubscriptionScheduler> Shared();

    explicit SubscriptionScheduler(unsigned threadCount);
    ~SubscriptionScheduler();
    SubscriptionScheduler(const SubscriptionScheduler&) = delete;
    SubscriptionScheduler& operator=(const SubscriptionScheduler&) = delete;

    // The scheduler keeps only a weak reference: work that has gone away is dropped.
    Id Add(std::weak_ptr<ScheduledWork> work, SchedulerClock::time_point firstRun);

    // Brings the next run forward to `when` (never later than already planned). A wake that
    // arrives during a run makes the work run again right after it.
    void WakeAt(Id id, SchedulerClock::time_point when);
    void Wake(Id id) { WakeAt(id, SchedulerClock::now()); }

    // After Remove returns the work is not running and never runs again, except when called
    // from inside its own run: then that run finishes and no further run starts.
    void Remove(Id id);

    // True when the calling thread is one of this pool's threads inside the run of `id`.
    bool IsRunningOnThisThread(Id id) const;

private:
    struct State;
    static void WorkerLoop(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

}  // namespace simserver
