// Calls posted from other threads run on the owner's thread, in order, and see what the poster
// wrote before posting (ThreadSanitizer checks the hand-over in the threaded run).
#include "platform/concurrency/posted_calls.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

bool RunEventsUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace

TEST(PostedCalls, RunOnTheOwnerThreadInOrderWithWhatThePosterWrote) {
    int argc = 1;
    char name[] = "posted_calls_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    PostedCalls calls;
    constexpr int kThreads = 3;
    constexpr int kPerThread = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    bool offThread = false;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                auto payload = std::make_unique<int>(i);  // written here, read on the owner
                calls.Post([&, t, payload = std::shared_ptr<int>(std::move(payload))] {
                    offThread |= QThread::currentThread() != app.thread();
                    seen[t].push_back(*payload);
                });
            }
        });
    for (std::thread& poster : posters) poster.join();
    ASSERT_TRUE(RunEventsUntil([&] {
        for (const auto& s : seen)
            if (s.size() < kPerThread) return false;
        return true;
    }));
    EXPECT_FALSE(offThread);
    for (const auto& s : seen)
        for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(s[i], i) << "each poster's calls run in its order";
}

TEST(PostedCalls, ACallThatRunsANestedLoopKeepsTheOrder) {
    int argc = 1;
    char name[] = "posted_calls_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    auto calls = std::make_unique<PostedCalls>();
    std::vector<int> order;
    calls->Post([&] {
        order.push_back(1);
        calls->Post([&] { order.push_back(4); });
        QCoreApplication::processEvents();  // the calls behind this one wait for it
        order.push_back(2);
    });
    calls->Post([&] { order.push_back(3); });
    ASSERT_TRUE(RunEventsUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}
