#include "platform/instance/single_instance.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// A lock name of this test process only, so a running program is not disturbed.
std::string TestLockName() { return "opc-test-lock-" + std::to_string(::getpid()); }

// Runs `body` in a child process and returns its exit code.
template <typename Body>
int InChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SingleInstance, AnotherProcessCannotTakeAHeldLock) {
    const std::string name = TestLockName();
    SingleInstanceLock lock(name);
    ASSERT_TRUE(lock.Acquire());
    EXPECT_TRUE(lock.Acquire());  // taking it again in the holder is harmless
    const int childGotIt = InChild([&] {
        SingleInstanceLock second(name);
        return second.Acquire() ? 1 : 0;
    });
    EXPECT_EQ(childGotIt, 0);
    // A second lock object in the holder process is refused just the same.
    SingleInstanceLock again(name);
    EXPECT_FALSE(again.Acquire());
}

TEST(SingleInstance, LockIsFreedWhenTheHolderProcessEnds) {
    const std::string name = TestLockName() + "-exit";
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        // Holds the lock without ever releasing it explicitly; only the exit frees it.
        auto* lock = new SingleInstanceLock(name);
        const char ok = lock->Acquire() ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        char go = 0;
        (void)!::read(release[0], &go, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    {
        SingleInstanceLock whileHeld(name);
        EXPECT_FALSE(whileHeld.Acquire());
    }
    const char go = 'x';
    ASSERT_EQ(::write(release[1], &go, 1), 1);
    int status = 0;
    ::waitpid(holder, &status, 0);
    SingleInstanceLock afterExit(name);
    EXPECT_TRUE(afterExit.Acquire());
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(SingleInstance, DestroyingTheLockObjectReleasesIt) {
    const std::string name = TestLockName() + "-scope";
    {
        SingleInstanceLock lock(name);
        ASSERT_TRUE(lock.Acquire());
    }
    SingleInstanceLock next(name);
    EXPECT_TRUE(next.Acquire());
}
