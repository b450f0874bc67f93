#include "rpc/buffered_stream.h"

#include <kj/debug.h>

#include <algorithm>
#include <cstring>

namespace rpc {

BufferedStream::BufferedStream(kj::Own<kj::AsyncIoStream> inner, kj::Timer* timer)
    : inner_(kj::mv(inner)), buffer_(std::make_unique<kj::byte[]>(kBufferSize)), timer_(timer) {}

size_t BufferedStream::Take(kj::byte* out, size_t size) {
    const size_t count = std::min(size, end_ - begin_);
    if (count > 0) std::memcpy(out, buffer_.get() + begin_, count);
    begin_ += count;
    if (begin_ == end_) begin_ = end_ = 0;
    return count;
}

kj::Promise<size_t> BufferedStream::tryRead(void* buffer, size_t minBytes, size_t maxBytes) {
    auto* out = static_cast<kj::byte*>(buffer);
    const size_t taken = Take(out, maxBytes);
    if (taken >= minBytes) return taken;
    return Fill(out, taken, minBytes, maxBytes);
}

// The buffer is empty here. A read at least as large as the buffer goes straight to the
// caller's memory; a smaller one fills the buffer as far as the peer has sent. Each takes what
// has come, however little, so that BytesReceived() follows a long message as it arrives.
kj::Promise<size_t> BufferedStream::Fill(kj::byte* out, size_t done, size_t minBytes, size_t maxBytes) {
    auto next = [this, out, minBytes, maxBytes](size_t done, size_t n) -> kj::Promise<size_t> {
        if (n == 0 || done >= minBytes) return done;  // n == 0: the peer has closed
        return Fill(out, done, minBytes, maxBytes);
    };
    if (maxBytes - done >= kBufferSize)
        return ReadInner(out + done, maxBytes - done).then([done, next](size_t n) { return next(done + n, n); });
    return ReadInner(buffer_.get(), kBufferSize).then([this, out, done, maxBytes, next](size_t n) {
        end_ = n;
        return next(done + Take(out + done, maxBytes - done), n);
    });
}

kj::Promise<size_t> BufferedStream::ReadInner(kj::byte* into, size_t maxBytes) {
    if (gate_ && !gate_()) return KJ_EXCEPTION(DISCONNECTED, "the connection is closed to reading");
    if (timer_ && sinceYield_ >= kYieldEvery) {
        // A timer fires only when the loop polls for I/O, which it does once nothing else is
        // ready: this read waits for the other connections' turn.
        sinceYield_ = 0;
        return timer_->afterDelay(0 * kj::NANOSECONDS).then([this, into, maxBytes] { return ReadInner(into, maxBytes); });
    }
    return inner_->tryRead(into, 1, maxBytes)
        .then(
            [this](size_t n) {
                received_ += n;
                sinceYield_ += n;
                if (n == 0) peerClosed_ = true;
                return n;
            },
            [this](kj::Exception&& failure) -> size_t {
                failed_ = true;
                kj::throwFatalException(kj::mv(failure));
            });
}

kj::Promise<void> BufferedStream::write(const void* buffer, size_t size) {
    return NoteWriteFailure(inner_->write(buffer, size));
}

kj::Promise<void> BufferedStream::write(kj::ArrayPtr<const kj::ArrayPtr<const kj::byte>> pieces) {
    return NoteWriteFailure(inner_->write(pieces));
}

kj::Promise<void> BufferedStream::NoteWriteFailure(kj::Promise<void> written) {
    return written.catch_([this](kj::Exception&& failure) {
        failed_ = true;
        kj::throwFatalException(kj::mv(failure));
    });
}

kj::Promise<void> BufferedStream::whenWriteDisconnected() {
    return inner_->whenWriteDisconnected();
}

void BufferedStream::shutdownWrite() {
    inner_->shutdownWrite();
}

void BufferedStream::abortRead() {
    inner_->abortRead();
}

void BufferedStream::getsockopt(int level, int option, void* value, kj::uint* length) {
    inner_->getsockopt(level, option, value, length);
}

void BufferedStream::setsockopt(int level, int option, const void* value, kj::uint length) {
    inner_->setsockopt(level, option, value, length);
}

void BufferedStream::getsockname(struct sockaddr* addr, kj::uint* length) {
    inner_->getsockname(addr, length);
}

void BufferedStream::getpeername(struct sockaddr* addr, kj::uint* length) {
    inner_->getpeername(addr, length);
}

kj::Maybe<int> BufferedStream::getFd() const {
    return inner_->getFd();
}

}  // namespace rpc
