// The sequence-locked snapshot: readers on other threads always copy one whole published
// value, never a mix of two (run under ThreadSanitizer too).
#include "platform/concurrency/seqlock_snapshot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace {

// Three words that a writer keeps consistent: b and c follow from a.
struct Triple {
    std::uint64_t a, b, c;
};

}  // namespace

TEST(SeqLockSnapshotThreaded, ReadersNeverSeeATornValue) {
    SeqLockSnapshot<Triple> snapshot(Triple{0, 0, ~0ull});
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (std::uint64_t n = 1; !stop; ++n) snapshot.Store(Triple{n, n * 3, ~n});
    });
    std::uint64_t last = 0;
    for (int i = 0; i < 300000; ++i) {
        const Triple t = snapshot.Load();
        ASSERT_EQ(t.b, t.a * 3) << "read " << i;
        ASSERT_EQ(t.c, ~t.a) << "read " << i;
        ASSERT_GE(t.a, last) << "values go only forward";
        last = t.a;
    }
    stop = true;
    writer.join();
    EXPECT_GT(snapshot.Load().a, 0u);
}
