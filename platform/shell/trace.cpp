#include "platform/shell/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<bool> g_enabled{true};

}  // namespace

void SetTraceEnabled(bool enabled) { g_enabled.store(enabled, std::memory_order_relaxed); }

bool TraceEnabled() { return g_enabled.load(std::memory_order_relaxed); }

void TraceLine(const char* format, ...) {
    if (!TraceEnabled()) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
