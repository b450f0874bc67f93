#include "platform/time/tick.h"

#include <ctime>

DWORD GetTickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                    static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<DWORD>(ms);
}
