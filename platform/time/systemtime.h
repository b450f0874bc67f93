// A broken-down local time with milliseconds, and the current local time.
#pragma once

#include "platform/com/types.h"

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;  // 1-12
    WORD wDayOfWeek = 0;  // 0 Sunday
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

void GetLocalTime(SYSTEMTIME* time);
