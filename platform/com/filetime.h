// FILETIME (100 ns ticks since 1601-01-01 UTC) and calendar conversions.
#pragma once

#include "platform/com/types.h"

#include <chrono>

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;      // 1..12
    WORD wDayOfWeek = 0;  // 0 = Sunday
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

// Ticks between 1601-01-01 and 1970-01-01.
inline constexpr ULONGLONG kFileTimeUnixEpoch = 116444736000000000ULL;

constexpr ULONGLONG FileTimeTicks(const FILETIME& ft) {
    return (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}
constexpr FILETIME FileTimeFromTicks(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

FILETIME FileTimeNow();
// Times before 1601 give 0.
FILETIME FileTimeFromTimePoint(std::chrono::system_clock::time_point time);
std::chrono::system_clock::time_point TimePointFromFileTime(const FILETIME& ft);

// FALSE for times at or beyond 2^63 ticks (as the Windows function) or null arguments.
BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st);
// FALSE for fields out of range (year 1601..30827).
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft);
// Uses the local time zone offset in force at that instant (the Windows function applies the
// current offset to every time, which puts times across a daylight-saving change an hour
// off).
BOOL FileTimeToLocalFileTime(const FILETIME* ft, FILETIME* local);
void GetLocalTime(SYSTEMTIME* st);
void GetSystemTime(SYSTEMTIME* st);
