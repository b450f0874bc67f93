#include "platform/com/filetime.h"

#include "platform/com/civil_date.h"

#include <ctime>
#include <limits>

namespace {

constexpr ULONGLONG kTicksPerSecond = 10'000'000;
constexpr ULONGLONG kTicksPerDay = kTicksPerSecond * 86'400;
// Days between 1601-01-01 and 1970-01-01.
constexpr long long kFileTimeToUnixDays = 134'774;
constexpr ULONGLONG kLimit = 1ULL << 63;

using Ticks = std::chrono::duration<long long, std::ratio<1, 10'000'000>>;

}  // namespace

FILETIME FileTimeNow() { return FileTimeFromTimePoint(std::chrono::system_clock::now()); }

FILETIME FileTimeFromTimePoint(std::chrono::system_clock::time_point time) {
    const long long sinceUnix = std::chrono::duration_cast<Ticks>(time.time_since_epoch()).count();
    if (sinceUnix < -static_cast<long long>(kFileTimeUnixEpoch)) return FILETIME{};
    return FileTimeFromTicks(static_cast<ULONGLONG>(sinceUnix) + kFileTimeUnixEpoch);
}

std::chrono::system_clock::time_point TimePointFromFileTime(const FILETIME& ft) {
    using Clock = std::chrono::system_clock;
    // The clock's own range is narrower than FILETIME's; clamp to it.
    const long long maxTicks = std::chrono::duration_cast<Ticks>(Clock::duration::max()).count();
    const long long minTicks = std::chrono::duration_cast<Ticks>(Clock::duration::min()).count();
    const ULONGLONG ticks = FileTimeTicks(ft);
    long long sinceUnix;
    if (ticks >= kFileTimeUnixEpoch)
        sinceUnix = ticks - kFileTimeUnixEpoch >= static_cast<ULONGLONG>(maxTicks)
                        ? maxTicks
                        : static_cast<long long>(ticks - kFileTimeUnixEpoch);
    else
        sinceUnix = -static_cast<long long>(kFileTimeUnixEpoch - ticks);
    if (sinceUnix < minTicks) sinceUnix = minTicks;
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(Ticks(sinceUnix)));
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
    if (!ft || !st) return FALSE;
    const ULONGLONG ticks = FileTimeTicks(*ft);
    if (ticks >= kLimit) return FALSE;
    const long long days = static_cast<long long>(ticks / kTicksPerDay);
    const ULONGLONG inDay = ticks % kTicksPerDay;
    long long year;
    unsigned month, day;
    civil_date::CivilFromDays(days - kFileTimeToUnixDays, year, month, day);
    st->wYear = static_cast<WORD>(year);
    st->wMonth = static_cast<WORD>(month);
    st->wDay = static_cast<WORD>(day);
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    st->wHour = static_cast<WORD>(inDay / (kTicksPerSecond * 3600));
    st->wMinute = static_cast<WORD>(inDay / (kTicksPerSecond * 60) % 60);
    st->wSecond = static_cast<WORD>(inDay / kTicksPerSecond % 60);
    st->wMilliseconds = static_cast<WORD>(inDay / 10'000 % 1000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
    if (!st || !ft) return FALSE;
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > civil_date::DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59 || st->wMilliseconds > 999)
        return FALSE;
    const long long days = civil_date::DaysFromCivil(st->wYear, st->wMonth, st->wDay) + kFileTimeToUnixDays;
    const ULONGLONG seconds = ULONGLONG{st->wHour} * 3600 + ULONGLONG{st->wMinute} * 60 + st->wSecond;
    *ft = FileTimeFromTicks(static_cast<ULONGLONG>(days) * kTicksPerDay + seconds * kTicksPerSecond +
                            ULONGLONG{st->wMilliseconds} * 10'000);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* ft, FILETIME* local) {
    if (!ft || !local) return FALSE;
    const ULONGLONG ticks = FileTimeTicks(*ft);
    if (ticks >= kLimit) return FALSE;
    const long long sinceUnix = static_cast<long long>(ticks) - static_cast<long long>(kFileTimeUnixEpoch);
    // Floor division, so times before 1970 land in the right second.
    long long seconds = sinceUnix / static_cast<long long>(kTicksPerSecond);
    if (sinceUnix % static_cast<long long>(kTicksPerSecond) < 0) --seconds;
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (!localtime_r(&when, &fields)) return FALSE;
    const long long shifted =
        static_cast<long long>(ticks) + fields.tm_gmtoff * static_cast<long long>(kTicksPerSecond);
    if (shifted < 0) return FALSE;
    *local = FileTimeFromTicks(static_cast<ULONGLONG>(shifted));
    return TRUE;
}

void GetSystemTime(SYSTEMTIME* st) {
    const FILETIME now = FileTimeNow();
    FileTimeToSystemTime(&now, st);
}

void GetLocalTime(SYSTEMTIME* st) {
    const FILETIME now = FileTimeNow();
    FILETIME local;
    if (!FileTimeToLocalFileTime(&now, &local)) local = now;
    FileTimeToSystemTime(&local, st);
}
