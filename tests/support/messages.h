// The text LogEvent makes of string-table message `id` with these arguments, for comparing
// with what a test recorded.
#pragma once

#include "platform/strings/string_table.h"

#include <cstdio>
#include <string>

template <class... Args>
std::string Msg(unsigned id, Args... args) {
    const std::string format(LoadString(id));
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format.c_str(), args...);
    return buffer;
}
