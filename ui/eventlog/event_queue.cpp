#include "ui/eventlog/event_queue.h"

bool EventQueue::Add(int kind, std::string text) {
    EventEntry entry{std::move(text), LocalTimeNow(), kind};
    std::lock_guard lock(mutex_);
    if (errorsOnly_ && kind != 1) return false;
    pending_.push_back(std::move(entry));
    return true;
}

std::vector<EventEntry> EventQueue::TakeAll() {
    std::vector<EventEntry> taken;
    std::lock_guard lock(mutex_);
    taken.swap(pending_);
    return taken;
}

bool EventQueue::ErrorsOnly() const {
    std::lock_guard lock(mutex_);
    return errorsOnly_;
}

void EventQueue::SetErrorsOnly(bool on) {
    std::lock_guard lock(mutex_);
    errorsOnly_ = on;
}

void EventQueue::ToggleErrorsOnly() {
    std::lock_guard lock(mutex_);
    errorsOnly_ = !errorsOnly_;
}
