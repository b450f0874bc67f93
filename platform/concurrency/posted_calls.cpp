#include "platform/concurrency/posted_calls.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace {

const QEvent::Type kRunPosted = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

PostedCalls::PostedCalls(QObject* parent) : QObject(parent) {}

PostedCalls::~PostedCalls() = default;

void PostedCalls::Post(std::function<void()> call) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = calls_.empty();  // otherwise an event is on its way and runs this call too
        calls_.push_back(std::move(call));
    }
    if (wake) QCoreApplication::postEvent(this, new QEvent(kRunPosted));
}

bool PostedCalls::event(QEvent* event) {
    if (event->type() != kRunPosted) return QObject::event(event);
    RunPosted();
    return true;
}

void PostedCalls::RunPosted() {
    // One at a time: a call may run a nested event loop, and the calls behind it still run
    // after it, in order.
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}
