// The connection's read buffer: whatever the sizes the peer writes and the reader asks for, the
// bytes come out whole and in order, and the end of the stream still shows.
#include "rpc/buffered_stream.h"

#include <gtest/gtest.h>
#include <kj/async-io.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::vector<kj::byte> Pattern(size_t size) {
    std::vector<kj::byte> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<kj::byte>(i * 131 + i / 256);
    return bytes;
}

TEST(BufferedStream, BytesArriveWholeAndInOrderAcrossTheBuffersEdges) {
    struct Read {
        size_t min;
        size_t max;
    };
    struct Case {
        const char* what;
        std::vector<size_t> writes;
        std::vector<Read> reads;  // repeated until everything is read
    };
    const Case cases[] = {
        {"a message's header, table and body", {8, 16, 4000}, {{8, 8}, {16, 16}, {4000, 4000}}},
        {"many small messages in one write", {24 * 100}, {{8, 8}, {16, 16}}},
        {"a read larger than the buffer goes past it", {100, 200000}, {{8, 8}, {200092, 200092}}},
        {"reads that take whatever is there", {3, 70000, 5}, {{1, 1000}}},
        {"a read that needs more than is buffered", {10, 10, 10, 10}, {{1, 1}, {25, 30}, {14, 14}}},
    };
    auto io = kj::setupAsyncIo();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto pipe = io.provider->newTwoWayPipe();
        rpc::BufferedStream reader(kj::mv(pipe.ends[0]));
        size_t total = 0;
        for (size_t size : c.writes) total += size;
        const std::vector<kj::byte> sent = Pattern(total);
        size_t offset = 0;
        for (size_t size : c.writes) {
            pipe.ends[1]->write(sent.data() + offset, size).wait(io.waitScope);
            offset += size;
        }
        std::vector<kj::byte> received(total);
        size_t got = 0;
        for (size_t i = 0; got < total; ++i) {
            const Read& r = c.reads[i % c.reads.size()];
            const size_t max = std::min(r.max, total - got);
            const size_t min = std::min(r.min, max);
            const size_t n = reader.tryRead(received.data() + got, min, max).wait(io.waitScope);
            ASSERT_GE(n, min);
            ASSERT_LE(n, max);
            got += n;
        }
        EXPECT_EQ(received, sent);
    }
}

TEST(BufferedStream, TheEndOfTheStreamGivesWhatIsLeftThenNothing) {
    auto io = kj::setupAsyncIo();
    auto pipe = io.provider->newTwoWayPipe();
    rpc::BufferedStream reader(kj::mv(pipe.ends[0]));
    const std::vector<kj::byte> sent = Pattern(20);
    pipe.ends[1]->write(sent.data(), sent.size()).wait(io.waitScope);
    pipe.ends[1]->shutdownWrite();

    kj::byte first[8];
    ASSERT_EQ(reader.tryRead(first, 8, 8).wait(io.waitScope), 8u);
    kj::byte rest[64];
    EXPECT_EQ(reader.tryRead(rest, 64, 64).wait(io.waitScope), 12u) << "less than asked: the peer has ended";
    EXPECT_EQ(std::vector<kj::byte>(rest, rest + 12), std::vector<kj::byte>(sent.begin() + 8, sent.end()));
    EXPECT_EQ(reader.tryRead(rest, 1, 64).wait(io.waitScope), 0u);
}

}  // namespace

namespace {

// A peer that keeps the socket full: every read is answered at once.
class EndlessStream final : public kj::AsyncIoStream {
public:
    kj::Promise<size_t> tryRead(void* buffer, size_t, size_t maxBytes) override {
        std::memset(buffer, 0x5a, maxBytes);
        return maxBytes;
    }
    kj::Promise<void> write(const void*, size_t) override { return kj::READY_NOW; }
    kj::Promise<void> write(kj::ArrayPtr<const kj::ArrayPtr<const kj::byte>>) override { return kj::READY_NOW; }
    kj::Promise<void> whenWriteDisconnected() override { return kj::NEVER_DONE; }
    void shutdownWrite() override {}
};

// Reads `left` bytes in small reads, one after the other, as the RPC system reads messages.
kj::Promise<void> ReadOn(rpc::BufferedStream& stream, kj::byte* buffer, size_t& read, size_t left) {
    if (left == 0) return kj::READY_NOW;
    return stream.tryRead(buffer, 1, 4096).then([&stream, buffer, &read, left](size_t n) {
        read += n;
        return ReadOn(stream, buffer, read, left - std::min(left, n));
    });
}

}  // namespace

// A peer whose data is always there still lets the loop wait for I/O now and then, where its
// timers fire and its other connections are served: the timer set before the reads fires
// long before 16 MiB have been read.
TEST(BufferedStream, APeerThatKeepsTheSocketFullLetsTheLoopsTimersRun) {
    auto io = kj::setupAsyncIo();
    kj::Timer& timer = io.provider->getTimer();
    rpc::BufferedStream stream(kj::heap<EndlessStream>(), &timer);
    size_t read = 0;
    size_t readWhenFired = SIZE_MAX;
    auto tick = timer.afterDelay(0 * kj::NANOSECONDS).then([&] { readWhenFired = read; }).eagerlyEvaluate(nullptr);
    std::vector<kj::byte> buffer(4096);
    const size_t total = size_t{16} << 20;
    ReadOn(stream, buffer.data(), read, total).wait(io.waitScope);
    EXPECT_EQ(read, total);
    EXPECT_LE(readWhenFired, size_t{2} << 20);
}

// A gate that closes fails the next read from the peer as if it had gone.
TEST(BufferedStream, AClosedReadGateFailsTheNextReadFromThePeer) {
    auto io = kj::setupAsyncIo();
    rpc::BufferedStream stream(kj::heap<EndlessStream>());
    bool open = true;
    stream.SetReadGate([&open] { return open; });
    std::vector<kj::byte> buffer(128 * 1024);  // past the buffer: every read reaches the peer
    EXPECT_EQ(stream.tryRead(buffer.data(), 1, buffer.size()).wait(io.waitScope), buffer.size());
    open = false;
    EXPECT_THROW(stream.tryRead(buffer.data(), 1, buffer.size()).wait(io.waitScope), kj::Exception);
}
