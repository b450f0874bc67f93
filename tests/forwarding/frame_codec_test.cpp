#include "forwarding/frame_codec.h"
#include "forwarding/frame_reader.h"
#include "frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Every request the reader yields, as text for easy comparison.
std::vector<std::string> Drain(FrameReader& reader) {
    std::vector<std::string> seen;
    while (auto request = reader.Next()) {
        if (const auto* read = std::get_if<ReadRequest>(&*request)) {
            seen.push_back("read " + std::to_string(read->first) + "+" + std::to_string(read->count));
        } else {
            const auto& write = std::get<WriteRequest>(*request);
            seen.push_back("write " + std::to_string(write.address) + " " +
                           WriteValueText(write.code, write.value.data()));
        }
    }
    return seen;
}

std::vector<std::string> ReadAll(const Bytes& stream) {
    FrameReader reader;
    reader.Append(stream.data(), stream.size());
    return Drain(reader);
}

// What the reader yields from these receives, one after the other.
std::vector<std::string> ReadReceives(std::initializer_list<Bytes> receives) {
    FrameReader reader;
    std::vector<std::string> seen;
    for (const Bytes& receive : receives) {
        reader.Append(receive.data(), receive.size());
        for (std::string& s : Drain(reader)) seen.push_back(std::move(s));
    }
    return seen;
}

}  // namespace

TEST(ScanFrame, DecodesWellFormedRequests) {
    const Bytes read = ReadRequestBytes(0x1234, 0x0102);
    FrameScan scan = ScanFrame(read.data(), read.size());
    ASSERT_EQ(scan.result, ScanResult::kRequest);
    EXPECT_EQ(scan.size, 13u);
    EXPECT_EQ(std::get<ReadRequest>(scan.request).first, 0x1234);
    EXPECT_EQ(std::get<ReadRequest>(scan.request).count, 0x0102);

    const Bytes write = WriteRequestBytes(0xBEEF, 6, {1, 2, 3, 4});
    scan = ScanFrame(write.data(), write.size());
    ASSERT_EQ(scan.result, ScanResult::kRequest);
    EXPECT_EQ(scan.size, 16u);
    const auto& request = std::get<WriteRequest>(scan.request);
    EXPECT_EQ(request.address, 0xBEEF);
    EXPECT_EQ(request.code, 6);
    EXPECT_EQ(request.value, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 0, 0, 0, 0}));
}

TEST(ScanFrame, AcceptsLengthFieldsUpToTheRequestSize) {
    for (std::int16_t length : {13, 12, 0, -1, -32768}) {
        const Bytes frame = ReadRequestBytes(1, 1, length);
        EXPECT_EQ(ScanFrame(frame.data(), frame.size()).result, ScanResult::kRequest) << length;
    }
    const Bytes write = WriteRequestBytes(1, 9, Bytes(8, 0), 5);
    EXPECT_EQ(ScanFrame(write.data(), write.size()).result, ScanResult::kRequest);
}

TEST(ScanFrame, TakesPaddingTheLengthCoversAndNeverLooksAtTheTrailer) {
    Bytes foreignTrailer = ReadRequestBytes(1, 1);
    foreignTrailer[9] = 'X';
    foreignTrailer[12] = 'M';
    struct Case {
        const char* name;
        Bytes frame;
        std::size_t size;  // what the request takes
    };
    const Case cases[] = {
        {"a foreign trailer", foreignTrailer, 13},
        {"a read padded to 20", Concat({ReadRequestBytes(1, 1, 20), Bytes(7, 0xEE)}), 20},
        {"a read padded to 64", Concat({ReadRequestBytes(1, 1, 64), Bytes(51, 'M')}), 64},
        {"a write padded to 30", Concat({WriteRequestBytes(1, 6, {1, 2, 3, 4}, 30), Bytes(14, 0)}), 30},
        {"a padded read followed by more", Concat({ReadRequestBytes(1, 1, 16), Bytes(3, 0), ReadRequestBytes(2, 2)}),
         16},
    };
    for (const Case& c : cases) {
        const FrameScan scan = ScanFrame(c.frame.data(), c.frame.size());
        EXPECT_EQ(scan.result, ScanResult::kRequest) << c.name;
        EXPECT_EQ(scan.size, c.size) << c.name;
    }
}

TEST(ScanFrame, WaitsForTheBytesTheCommandNeeds) {
    for (const Bytes& frame : {ReadRequestBytes(1, 2), WriteRequestBytes(1, 0, {}), WriteRequestBytes(1, 3, {7}),
                               WriteRequestBytes(1, 9, Bytes(8, 1))})
        for (std::size_t size = 0; size < frame.size(); ++size)
            EXPECT_EQ(ScanFrame(frame.data(), size).result, ScanResult::kNeedMore) << size << " of " << frame.size();
}

TEST(ScanFrame, NoFrameIsShorterThan13Bytes) {
    // A write of code 0 has no value: its 12 bytes alone are not a request.
    const Bytes alone = WriteRequestBytes(7, 0, {});
    ASSERT_EQ(alone.size(), 12u);
    EXPECT_EQ(ScanFrame(alone.data(), alone.size()).result, ScanResult::kNeedMore);
    FrameReader reader;
    reader.Append(alone.data(), alone.size());
    EXPECT_FALSE(reader.Next()) << "nothing is written with an empty text";

    // With a 13th byte that came with it, it is one.
    const Bytes padded = Concat({WriteRequestBytes(7, 0, {}, 13), Bytes{0}});
    const FrameScan scan = ScanFrame(padded.data(), padded.size());
    ASSERT_EQ(scan.result, ScanResult::kRequest);
    EXPECT_EQ(scan.size, 13u);
    EXPECT_EQ(std::get<WriteRequest>(scan.request).code, 0);
}

TEST(ScanFrame, RejectsMalformedFrames) {
    struct Case {
        const char* name;
        Bytes frame;
    };
    Bytes wrongMagic1 = ReadRequestBytes(1, 1);
    wrongMagic1[0] = 'N';
    Bytes wrongMagic2 = ReadRequestBytes(1, 1);
    wrongMagic2[1] = 0x48;
    Bytes command3 = ReadRequestBytes(1, 1);
    command3[4] = 3;
    Bytes command0 = ReadRequestBytes(1, 1);
    command0[4] = 0;
    const Case cases[] = {
        {"wrong first magic byte", wrongMagic1},
        {"wrong second magic byte", wrongMagic2},
        {"read with length 40", ReadRequestBytes(1, 1, 40)},
        {"read with length 14", ReadRequestBytes(1, 1, 14)},
        {"read with length 65 and 65 bytes", Concat({ReadRequestBytes(1, 1, 65), Bytes(52, 0)})},
        {"write longer than its code's value", WriteRequestBytes(1, 4, {1, 2}, 15)},
        {"unknown command 3", command3},
        {"unknown command 0", command0},
        {"write code 10", WriteRequestBytes(1, 10, Bytes(8, 0), 12)},
        {"write code with bit 7 set", WriteRequestBytes(1, 0x88, {1, 2, 3, 4}, 12)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScanFrame(c.frame.data(), c.frame.size()).result, ScanResult::kMalformed) << c.name;
}

TEST(WriteValueText, FormatsEachCodeByItsTable) {
    struct Case {
        std::uint8_t code;
        Bytes value;
        const char* text;
    };
    const Case cases[] = {
        {0, {}, ""},
        {1, {0x01}, "1"},
        {1, {0xFF}, "-1"},
        {2, {0x80}, "-128"},
        {3, {0xFF}, "255"},
        {4, {0xFE, 0xFF}, "-2"},
        {5, {0xFE, 0xFF}, "65534"},
        {6, {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {6, {0x00, 0x00, 0x00, 0x80}, "-2147483648"},
        {7, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        {8, {0x00, 0x00, 0x20, 0x40}, "2.500000"},
        {8, {0x00, 0x00, 0x48, 0x41}, "12.500000"},
        {9, {0, 0, 0, 0, 0, 0, 0x29, 0xC0}, "-12.500000"},
    };
    for (const Case& c : cases) {
        std::uint8_t value[8] = {};
        if (!c.value.empty()) std::memcpy(value, c.value.data(), c.value.size());
        EXPECT_EQ(WriteValueText(c.code, value), c.text) << "code " << int(c.code);
    }
    std::uint8_t huge[8];
    const double big = 1e300;
    std::memcpy(huge, &big, 8);
    EXPECT_EQ(WriteValueText(9, huge).size(), 301u + 7u);  // all digits, never cut
}

TEST(FrameReader, ReassemblesRequestsSplitAtEveryByte) {
    const Bytes stream = Concat(
        {ReadRequestBytes(3, 4), WriteRequestBytes(9, 8, {0x00, 0x00, 0x20, 0x40}), ReadRequestBytes(65535, 65535)});
    const std::vector<std::string> expected = {"read 3+4", "write 9 2.500000", "read 65535+65535"};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameReader reader;
        reader.Append(stream.data(), cut);
        std::vector<std::string> seen = Drain(reader);
        reader.Append(stream.data() + cut, stream.size() - cut);
        for (const std::string& s : Drain(reader)) seen.push_back(s);
        EXPECT_EQ(seen, expected) << "cut at " << cut;
    }
    FrameReader bytewise;
    std::vector<std::string> seen;
    for (std::uint8_t byte : stream) {
        bytewise.Append(&byte, 1);
        for (const std::string& s : Drain(bytewise)) seen.push_back(s);
    }
    EXPECT_EQ(seen, expected);
}

TEST(FrameReader, ResynchronisesAfterMalformedBytes) {
    Bytes wrongMagic = ReadRequestBytes(1, 1);
    wrongMagic[1] = 'X';
    Bytes short12 = ReadRequestBytes(1, 1, 12);
    short12.pop_back();
    struct Case {
        const char* name;
        Bytes bad;
        bool completedBySameReceive = false;  // bytes after it in its receive make it whole
    };
    const Case cases[] = {
        {"a 12-byte read", short12, true},
        {"wrong magic", wrongMagic},
        {"length 40", ReadRequestBytes(1, 1, 40)},
        {"code 10", WriteRequestBytes(1, 10, Bytes(8, 0), 12)},
        {"code with bit 7", WriteRequestBytes(1, 0x84, {1, 2}, 14)},
        {"noise holding M and MI", {'M', 'x', 'M', 'M', 'I', 0x7F, 0x00, 0x01, 'M'}},
        {"a write cut before its value", {0x4D, 0x49, 16, 0, 2, 1, 0, 6, 0xAA}},
    };
    for (const Case& c : cases) {
        // Each frame in a receive of its own, as a peer sends them one by one...
        EXPECT_EQ(ReadReceives({c.bad, ReadRequestBytes(7, 2), c.bad, WriteRequestBytes(8, 3, {200})}),
                  (std::vector<std::string>{"read 7+2", "write 8 200"}))
            << c.name;
        // ...and a frame split in transit completed by the bytes after it.
        const Bytes good = ReadRequestBytes(7, 2);
        EXPECT_EQ(
            ReadReceives({Concat({c.bad, Bytes(good.begin(), good.begin() + 6)}), Bytes(good.begin() + 6, good.end())}),
            std::vector<std::string>{c.completedBySameReceive ? "read 1+1" : "read 7+2"})
            << c.name;
    }
}

TEST(FrameReader, TakesAShortFrameAsFarAsItsCommandWhenMoreCameInTheSameReceive) {
    Bytes short12 = ReadRequestBytes(1, 1, 12);
    short12.pop_back();
    // The next frame's "M" completes the short one, which leaves the rest of that frame behind.
    EXPECT_EQ(ReadAll(Concat({short12, ReadRequestBytes(7, 2)})), std::vector<std::string>{"read 1+1"});
}

TEST(FrameReader, KeepsOnlyTheStartOfOneRequest) {
    FrameReader reader;
    Bytes noise(5000, 'M');
    reader.Append(noise.data(), noise.size());
    EXPECT_TRUE(Drain(reader).empty());
    EXPECT_LE(reader.Pending(), 1u);

    const Bytes write = WriteRequestBytes(1, 9, Bytes(8, 0));
    reader.Append(write.data(), write.size() - 1);
    EXPECT_TRUE(Drain(reader).empty());
    EXPECT_LT(reader.Pending(), kLongestRequestSize);
}
