// FILETIME <-> calendar conversions.
#include "platform/com/filetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr ULONGLONG kSecond = 10'000'000;

struct CalendarCase {
    const char* name;
    ULONGLONG ticks;
    SYSTEMTIME fields;  // year, month, day of week, day, hour, minute, second, ms
};

TEST(FileTimeTest, TicksAndCalendarFieldsAgree) {
    const CalendarCase cases[] = {
        {"the origin", 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {"the Unix epoch", kFileTimeUnixEpoch, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {"a leap day", 125'963'012'967'890'000ULL, {2000, 2, 2, 29, 12, 34, 56, 789}},
        {"the last day of a year", 133'485'407'990'000'000ULL, {2023, 12, 0, 31, 23, 59, 59, 0}},
    };
    for (const CalendarCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FILETIME ft = FileTimeFromTicks(c.ticks);
        SYSTEMTIME st;
        ASSERT_EQ(FileTimeToSystemTime(&ft, &st), TRUE);
        EXPECT_EQ(st.wYear, c.fields.wYear);
        EXPECT_EQ(st.wMonth, c.fields.wMonth);
        EXPECT_EQ(st.wDayOfWeek, c.fields.wDayOfWeek);
        EXPECT_EQ(st.wDay, c.fields.wDay);
        EXPECT_EQ(st.wHour, c.fields.wHour);
        EXPECT_EQ(st.wMinute, c.fields.wMinute);
        EXPECT_EQ(st.wSecond, c.fields.wSecond);
        EXPECT_EQ(st.wMilliseconds, c.fields.wMilliseconds);
        FILETIME back;
        ASSERT_EQ(SystemTimeToFileTime(&c.fields, &back), TRUE);
        EXPECT_EQ(FileTimeTicks(back), c.ticks);
    }
}

TEST(FileTimeTest, OutOfRangeValuesAreRefused) {
    const FILETIME tooLate = FileTimeFromTicks(1ULL << 63);
    SYSTEMTIME st;
    EXPECT_EQ(FileTimeToSystemTime(&tooLate, &st), FALSE);
    FILETIME local;
    EXPECT_EQ(FileTimeToLocalFileTime(&tooLate, &local), FALSE);

    const SYSTEMTIME invalid[] = {
        {2023, 2, 0, 29, 0, 0, 0, 0},  // not a leap year
        {2023, 13, 0, 1, 0, 0, 0, 0}, {1600, 12, 0, 31, 0, 0, 0, 0},
        {2023, 1, 0, 1, 24, 0, 0, 0}, {2023, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const SYSTEMTIME& fields : invalid) {
        FILETIME ft;
        EXPECT_EQ(SystemTimeToFileTime(&fields, &ft), FALSE) << fields.wYear << "-" << fields.wMonth;
    }
}

TEST(FileTimeTest, TimePointsConvertBothWays) {
    const auto time =
        std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000)) + std::chrono::microseconds(123'456);
    const FILETIME ft = FileTimeFromTimePoint(time);
    EXPECT_EQ(FileTimeTicks(ft), kFileTimeUnixEpoch + 1'700'000'000ULL * kSecond + 1'234'560);
    EXPECT_EQ(TimePointFromFileTime(ft), time);
    // Far beyond the clock's range the time point is clamped rather than wrapped.
    EXPECT_GT(TimePointFromFileTime(FileTimeFromTicks(1ULL << 62)), TimePointFromFileTime(ft));
    EXPECT_LT(TimePointFromFileTime(FileTimeFromTicks(0)), TimePointFromFileTime(ft));
}

// Sets TZ for the test's duration.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old, hadValue_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadValue_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

TEST(FileTimeTest, LocalTimeUsesTheOffsetOfThatInstant) {
    TimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    SYSTEMTIME winter{2023, 1, 0, 15, 12, 0, 0, 0};
    SYSTEMTIME summer{2023, 7, 0, 15, 12, 0, 0, 0};
    for (const auto& [utc, hour] : {std::pair{winter, 13}, std::pair{summer, 14}}) {
        FILETIME ft, local;
        ASSERT_EQ(SystemTimeToFileTime(&utc, &ft), TRUE);
        ASSERT_EQ(FileTimeToLocalFileTime(&ft, &local), TRUE);
        SYSTEMTIME st;
        ASSERT_EQ(FileTimeToSystemTime(&local, &st), TRUE);
        EXPECT_EQ(st.wHour, hour) << "month " << utc.wMonth;
    }
}

}  // namespace
