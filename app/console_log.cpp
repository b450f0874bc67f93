#include "app/console_log.h"

#include <chrono>
#include <ctime>

std::string ConsoleLog::Line(int kind, const std::string& text, long long unixMilliseconds) {
    const std::time_t seconds = static_cast<std::time_t>(unixMilliseconds / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[40];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line(stamp, length);
    char milliseconds[8];
    std::snprintf(milliseconds, sizeof milliseconds, ".%03d", static_cast<int>(unixMilliseconds % 1000));
    line += milliseconds;
    line += kind == 1 ? " ERROR " : " INFO ";
    line += text;
    return line;
}

void ConsoleLog::AddEvent(int kind, const std::string& text) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string line = Line(kind, text, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    std::lock_guard lock(lock_);
    if (priorityPrefix_) std::fputs(kind == 1 ? "<3>" : "<6>", out_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);  // one line at a time, as it happens
}
