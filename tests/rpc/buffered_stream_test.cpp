// The connection's read buffer: whatever the sizes the peer writes and the reader asks for, the
// bytes come out whole and in order, and the end of the stream still shows.
#include "rpc/buffered_stream.h"

#include <gtest/gtest.h>
#include <kj/async-io.h>

#include <cstdint>
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
