// The events reported but not yet shown. Any thread may add; the view's timer takes them all
// at once. The errors-only flag lives here too, under the same lock, because it decides
// what Add keeps.
#pragma once

#include "platform/time/systemtime.h"

#include <mutex>
#include <string>
#include <vector>

struct EventEntry {
    std::string text;
    SYSTEMTIME time;  // local time when the event was reported
    int kind = 0;     // 0 information, 1 error
};

class EventQueue {
public:
    // Queues the event with the current local time; with errors only set, an event of a kind
    // other than 1 is dropped (returns false).
    bool Add(int kind, std::string text);
    // Everything queued, in reporting order; the queue is left empty.
    std::vector<EventEntry> TakeAll();

    bool ErrorsOnly() const;
    void SetErrorsOnly(bool on);
    void ToggleErrorsOnly();

private:
    mutable std::mutex mutex_;
    std::vector<EventEntry> pending_;
    bool errorsOnly_ = false;
};
