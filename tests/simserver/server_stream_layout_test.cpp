// The little-endian helpers of the 1.0 stream layout that the server's encoder and the
// client's parser share: byte order, and reads and writes that stay inside the buffer even
// for offsets near the top of the address range.
#include <gtest/gtest.h>

#include <limits>

#include "opc/da/stream_layout.h"

namespace opc::stream {
namespace {

TEST(StreamLayout, ValuesAreWrittenLeastSignificantByteFirst) {
    StreamWriter w;
    w.Append<std::uint16_t>(0x1234);
    w.Append<std::int32_t>(-2);
    w.AppendDouble(1.0);
    w.PatchAt<std::uint32_t>(2, 0xA1B2C3D4);
    const std::vector<std::uint8_t> expected = {0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 0x00,
                                                0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F};
    EXPECT_EQ(w.bytes(), expected);
    std::uint32_t u = 0;
    ASSERT_TRUE(ReadLE(std::span<const std::uint8_t>(w.bytes()), 2, u));
    EXPECT_EQ(u, 0xA1B2C3D4u);
}

struct ReadCase {
    std::size_t offset;
    bool fits;
};

TEST(StreamLayout, CheckedReadsAndWritesRefuseBytesThatAreNotThere) {
    std::vector<std::uint8_t> buffer(kGroupHeaderSize, 0xAB);
    constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
    const ReadCase cases[] = {
        {0, true},
        {kGroupStatusOffset, true},     // the last 4 bytes
        {kGroupHeaderSize - 3, false},  // one byte short
        {kGroupHeaderSize, false},
        {kMax, false},  // offset + size would wrap around
        {kMax - 2, false},
    };
    for (const auto& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(ReadLE(std::span<const std::uint8_t>(buffer), c.offset, value), c.fits) << c.offset;
        EXPECT_EQ(value, c.fits ? 0xABABABABu : 7u) << c.offset;
        EXPECT_EQ(WriteLE(std::span<std::uint8_t>(buffer), c.offset, std::uint32_t{0xABABABAB}), c.fits) << c.offset;
    }
    EXPECT_FALSE(Fits(0, 0, 1));
    EXPECT_TRUE(Fits(0, 0, 0));
    EXPECT_EQ(ItemHeaderOffset(2, true), kGroupHeaderSize + 2 * kItemHeaderTimeSize);
    EXPECT_EQ(WriteRecordOffset(1), kWriteHeaderSize + kWriteRecordSize);
}

}  // namespace
}  // namespace opc::stream
