#include "rpc/host_loop.h"

#include "platform/shell/trace.h"

#include <kj/debug.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace rpc {
namespace {

int MakeEventFd() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    KJ_SYSCALL(fd);
    return fd;
}

}  // namespace

Mailbox::Mailbox() : eventFd_(MakeEventFd()) {}

Mailbox::~Mailbox() {
    ::close(eventFd_);
}

bool Mailbox::Post(std::function<void()> work) {
    if (TryPost(work)) return true;
    new std::function<void()>(std::move(work));  // deliberately kept: see Post's comment
    return false;
}

bool Mailbox::TryPost(std::function<void()>& work) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        work_.push_back(std::move(work));
    }
    Wake();
    return true;
}

void Mailbox::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(eventFd_, &one, sizeof one);
}

void Mailbox::Close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(work_);
    }
    Wake();
}

bool Mailbox::Closed() {
    std::lock_guard lock(mutex_);
    return closed_;
}

kj::Promise<void> Mailbox::Run(kj::UnixEventPort& port) {
    auto observer = kj::heap<kj::UnixEventPort::FdObserver>(port, eventFd_,
                                                             kj::UnixEventPort::FdObserver::OBSERVE_READ);
    auto readable = observer->whenBecomesReadable();
    return readable.then([this, observer = kj::mv(observer)]() mutable { return Drain(kj::mv(observer)); });
}

kj::Promise<void> Mailbox::Drain(kj::Own<kj::UnixEventPort::FdObserver> observer) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(eventFd_, &count, sizeof count);
    std::deque<std::function<void()>> batch;
    bool closed = false;
    {
        std::lock_guard lock(mutex_);
        batch.swap(work_);
        closed = closed_;
    }
    // One piece of work that fails must not stop the loop's mailbox: the work after it (a stop
    // among them) would never run.
    for (auto& work : batch) {
        try {
            work();
        } catch (const kj::Exception& failure) {
            TraceLine("%s:%d:\"posted work failed: %s\"\r\n", "Mailbox", __LINE__, failure.getDescription().cStr());
        } catch (const std::exception& failure) {
            TraceLine("%s:%d:\"posted work failed: %s\"\r\n", "Mailbox", __LINE__, failure.what());
        }
    }
    if (closed) return kj::READY_NOW;
    auto readable = observer->whenBecomesReadable();
    return readable.then([this, observer = kj::mv(observer)]() mutable { return Drain(kj::mv(observer)); });
}

}  // namespace rpc
