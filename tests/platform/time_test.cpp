#include "platform/time/systemtime.h"
#include "platform/time/tick.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

TEST(Tick, IsTheMonotonicClockInMillisecondsCutTo32Bits) {
    using namespace std::chrono;
    const auto ms = [] {
        return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
    const DWORD before = ms();
    const DWORD tick = GetTickCount();
    const DWORD after = ms();
    // Unsigned differences, so a wrap between the readings is no failure.
    EXPECT_LE(DWORD(tick - before), DWORD(after - before));
}

TEST(LocalTime, MatchesTheCLibraryLocalTime) {
    SYSTEMTIME now{};
    std::time_t before = 0;
    std::tm expected{};
    // Retry if a second boundary passes between the two readings. The reference reads the
    // same clock as the code: time() may come from a coarser clock that lags a second edge.
    const auto seconds = [] {
        timespec t{};
        ::clock_gettime(CLOCK_REALTIME, &t);
        return t.tv_sec;
    };
    for (int attempt = 0; attempt < 5; ++attempt) {
        before = seconds();
        now = LocalTimeNow();
        if (seconds() == before) break;
    }
    ::localtime_r(&before, &expected);
    EXPECT_EQ(now.wYear, expected.tm_year + 1900);
    EXPECT_EQ(now.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(now.wDay, expected.tm_mday);
    EXPECT_EQ(now.wDayOfWeek, expected.tm_wday);
    EXPECT_EQ(now.wHour, expected.tm_hour);
    EXPECT_EQ(now.wMinute, expected.tm_min);
    EXPECT_EQ(now.wSecond, expected.tm_sec);
    EXPECT_LT(now.wMilliseconds, 1000);
}
