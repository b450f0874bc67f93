// Time conversions of the simulation server.
#pragma once

#include "platform/com/filetime.h"

namespace simserver {

// FILETIME (100 ns ticks since 1601-01-01 UTC) as an OLE Automation DATE (days since
// 1899-12-30).
constexpr DATE DateFromFileTime(FILETIME ft) {
    constexpr double kTicksPerDay = 864000000000.0;
    constexpr ULONGLONG kTicks1899 = 94353120000000000ULL;  // 1601-01-01 .. 1899-12-30
    return (static_cast<double>(FileTimeTicks(ft)) - static_cast<double>(kTicks1899)) / kTicksPerDay;
}

}  // namespace simserver
