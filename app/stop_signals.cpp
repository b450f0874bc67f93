#include "app/stop_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// Read by the handler on whatever thread the signal lands; lock-free, so safe in a handler.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (const int fd = g_writeEnd.load(); fd >= 0) (void)!::write(fd, &byte, 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    readEnd_.Reset(ends[0]);
    writeEnd_.Reset(ends[1]);
    g_writeEnd = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        while (::read(readEnd_.get(), bytes, sizeof bytes) > 0) {}
        if (onStop_) onStop_();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals() {
    // The handlers go first, then the descriptor they write to; the pipe closes after that.
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    g_writeEnd.store(-1);
}
