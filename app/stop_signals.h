// SIGTERM and SIGINT as an event of the Qt loop: the handler only writes a byte to a pipe,
// and the loop reads it, so the program ends its work on its own thread, not inside a signal
// handler. One instance per process.
#pragma once

#include "platform/files/unique_fd.h"

#include <functional>
#include <memory>

class QSocketNotifier;

class StopSignals {
public:
    // `onStop` runs on the Qt loop's thread when either signal arrives.
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();  // the signals' default handling again
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Installed() const { return static_cast<bool>(readEnd_); }

private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onStop_;
};
