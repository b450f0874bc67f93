// The event log of the headless program: each event as one line on standard output (so, under
// systemd, in the journal) with date, time, kind and the event's text. Any thread.
#pragma once

#include "platform/shell/shell.h"

#include <cstdio>
#include <mutex>
#include <string>

class ConsoleLog : public ShellReceiver {
public:
    // `priorityPrefix`: each line starts with its syslog priority ("<3>" for an error, "<6>"
    // for information), which the journal reads when standard output is connected to it.
    explicit ConsoleLog(std::FILE* out = stdout, bool priorityPrefix = false)
        : out_(out), priorityPrefix_(priorityPrefix) {}

    void AddEvent(int kind, const std::string& text) override;
    void AddToItemCount(int) override {}
    void SetStatusText(const std::string&) override {}

    // "2026-12-10 17:20:05.123 INFO <text>" for the time given.
    static std::string Line(int kind, const std::string& text, long long unixMilliseconds);

private:
    std::mutex lock_;
    std::FILE* out_;
    bool priorityPrefix_;
};
