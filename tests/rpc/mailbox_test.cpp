// The loop's mailbox: work runs on the loop in the order posted; once the loop has closed it,
// work is refused, and TryPost leaves the refused work with its caller to let go of.
#include "rpc/host_loop.h"

#include <gtest/gtest.h>
#include <kj/async-io.h>
#include <kj/debug.h>

#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(Mailbox, WorkRunsInOrderOnTheLoopAndRefusedWorkStaysWithItsCaller) {
    auto mailbox = std::make_shared<rpc::Mailbox>();
    std::vector<int> ran;
    std::thread loop([&] {
        auto io = kj::setupAsyncIo();
        auto running = mailbox->Run(io.unixEventPort);
        while (ran.size() < 3) io.waitScope.poll();
        mailbox->Close();
    });
    std::function<void()> first = [&ran] { ran.push_back(1); };
    ASSERT_TRUE(mailbox->TryPost(first));
    EXPECT_FALSE(first) << "taken by the mailbox";
    ASSERT_TRUE(mailbox->Post([&ran] { ran.push_back(2); }));
    ASSERT_TRUE(mailbox->Post([&ran] { ran.push_back(3); }));
    loop.join();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));

    auto held = std::make_shared<int>(7);
    std::function<void()> late = [held] {};
    EXPECT_FALSE(mailbox->TryPost(late));
    ASSERT_TRUE(late) << "left with the caller";
    EXPECT_EQ(held.use_count(), 2);
    late = nullptr;
    EXPECT_EQ(held.use_count(), 1) << "and let go of on the caller's thread";
}

TEST(Mailbox, WorkThatFailsDoesNotStopTheWorkAfterIt) {
    auto mailbox = std::make_shared<rpc::Mailbox>();
    std::vector<int> ran;
    bool stop = false;
    std::thread loop([&] {
        auto io = kj::setupAsyncIo();
        auto running = mailbox->Run(io.unixEventPort).eagerlyEvaluate(nullptr);
        while (!stop) io.waitScope.poll();
        mailbox->Close();
    });
    ASSERT_TRUE(mailbox->Post([] { KJ_FAIL_REQUIRE("a call on a connection that broke"); }));
    ASSERT_TRUE(mailbox->Post([] { throw std::runtime_error("out of something"); }));
    ASSERT_TRUE(mailbox->Post([&ran] { ran.push_back(1); }));
    ASSERT_TRUE(mailbox->Post([&stop] { stop = true; }));  // as Stop() posts its stop
    loop.join();  // would wait for ever if the failures had ended the mailbox's loop
    EXPECT_EQ(ran, std::vector<int>{1});
}

}  // namespace
