#include "app/stop_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

int g_writeEnd = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (g_writeEnd >= 0) (void)!::write(g_writeEnd, &byte, 1);
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
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    g_writeEnd = -1;
}
