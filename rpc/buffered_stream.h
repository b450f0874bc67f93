// A connection's stream with a read buffer. A message is read as its first word, its segment
// table and its segments, each a read of its own; through the buffer one system call usually
// brings the whole message (and what follows it), which matters most for small calls.
#pragma once

#include <kj/async-io.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace rpc {

class BufferedStream final : public kj::AsyncIoStream {
public:
    // With `timer`, the stream lets the loop wait for I/O after each megabyte it reads: a peer
    // that keeps the socket full never has data waiting to be taken at once forever, and the
    // loop's other connections and timers get their turn.
    explicit BufferedStream(kj::Own<kj::AsyncIoStream> inner, kj::Timer* timer = nullptr);

    kj::Promise<size_t> tryRead(void* buffer, size_t minBytes, size_t maxBytes) override;
    kj::Promise<void> write(const void* buffer, size_t size) override;
    kj::Promise<void> write(kj::ArrayPtr<const kj::ArrayPtr<const kj::byte>> pieces) override;
    kj::Promise<void> whenWriteDisconnected() override;
    void shutdownWrite() override;
    void abortRead() override;
    void getsockopt(int level, int option, void* value, kj::uint* length) override;
    void setsockopt(int level, int option, const void* value, kj::uint length) override;
    void getsockname(struct sockaddr* addr, kj::uint* length) override;
    void getpeername(struct sockaddr* addr, kj::uint* length) override;
    kj::Maybe<int> getFd() const override;

    // Asked before each read from the peer; when it answers false, the read fails as if the
    // peer had gone.
    void SetReadGate(std::function<bool()> gate) { gate_ = std::move(gate); }

    // Bytes received from the peer so far.
    std::uint64_t BytesReceived() const { return received_; }
    // True once the peer has closed its side in order.
    bool PeerClosed() const { return peerClosed_; }
    // True once reading from or writing to the peer failed (a peer that vanished, or took
    // nothing for too long).
    bool Failed() const { return failed_; }

private:
    // Hands out what the buffer holds, at most `size` bytes; returns how many.
    size_t Take(kj::byte* out, size_t size);
    // Reads on into `out` after `done` bytes until `minBytes` (or the peer's end).
    kj::Promise<size_t> Fill(kj::byte* out, size_t done, size_t minBytes, size_t maxBytes);
    kj::Promise<void> NoteWriteFailure(kj::Promise<void> written);
    // One read from the peer of what has come, at most `maxBytes`.
    kj::Promise<size_t> ReadInner(kj::byte* into, size_t maxBytes);

    static constexpr size_t kBufferSize = size_t{64} * 1024;
    static constexpr size_t kYieldEvery = size_t{1} << 20;
    kj::Own<kj::AsyncIoStream> inner_;
    std::unique_ptr<kj::byte[]> buffer_;
    kj::Timer* timer_;
    std::function<bool()> gate_;
    size_t sinceYield_ = 0;  // bytes read since the loop last waited for I/O
    size_t begin_ = 0;  // what is read and not yet handed out: [begin_, end_)
    size_t end_ = 0;
    std::uint64_t received_ = 0;
    bool peerClosed_ = false;
    bool failed_ = false;
};

}  // namespace rpc
