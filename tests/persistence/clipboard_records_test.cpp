// What the clipboard carries for servers, groups and items: a count, then that many records
// of the project file, then nothing. Content that is cut short, has bytes after its records,
// claims more records than it holds or carries another schema is refused whole.
#include "persistence/archive.h"
#include "persistence/project_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

const ItemRecord kRamp{"", "Ramp.I2", 1, 2, 3, 12, 0};
const ItemRecord kSine{"path", "Sine.R8", 0, 5, 1, -1, 0xDEADBEEF};

GroupRecord SampleGroup() {
    GroupRecord group;
    group.name = "Fast";
    group.updateRate = 250;
    group.timeBias = -60;
    group.percentDeadband = 0.5f;
    group.updateMethod = 0;
    group.refreshInterval = 3;
    group.items = {kRamp, kSine};
    return group;
}

// Decodes `bytes` as each level; the results of the three decoders, in order.
struct Decoded {
    ProjectLoadError servers, groups, items;
};
Decoded DecodeAsEach(const Bytes& bytes) {
    std::vector<ServerRecord> servers{ServerRecord{}};
    std::vector<GroupRecord> groups{GroupRecord{}};
    std::vector<ItemRecord> items{ItemRecord{}};
    const Decoded result{DecodeServerRecords(bytes, servers), DecodeGroupRecords(bytes, groups),
                         DecodeItemRecords(bytes, items)};
    // A refused payload leaves nothing behind.
    if (result.servers != ProjectLoadError::None) {
        EXPECT_TRUE(servers.empty());
    }
    if (result.groups != ProjectLoadError::None) {
        EXPECT_TRUE(groups.empty());
    }
    if (result.items != ProjectLoadError::None) {
        EXPECT_TRUE(items.empty());
    }
    return result;
}

}  // namespace

TEST(ClipboardRecords, EachLevelIsACountThenItsRecordsAsTheProjectFileHasThem) {
    const ServerRecord server{"Orvane OPC", "plant-pc", 5, {SampleGroup(), GroupRecord{}}};
    // Servers: exactly a project file.
    EXPECT_EQ(EncodeServerRecords({server}), EncodeProject(ProjectRecord{{server}}));

    ArchiveWriter group;
    group.U32(1);
    WriteGroupHeader(group, SampleGroup(), 2);
    WriteItem(group, kRamp);
    WriteItem(group, kSine);
    EXPECT_EQ(EncodeGroupRecords({SampleGroup()}), group.Bytes());

    ArchiveWriter items;
    items.U32(2);
    WriteItem(items, kRamp);
    WriteItem(items, kSine);
    EXPECT_EQ(EncodeItemRecords({kRamp, kSine}), items.Bytes());

    std::vector<ServerRecord> servers;
    ASSERT_EQ(DecodeServerRecords(EncodeServerRecords({server}), servers), ProjectLoadError::None);
    EXPECT_EQ(servers, std::vector<ServerRecord>{server});
    std::vector<GroupRecord> groups;
    ASSERT_EQ(DecodeGroupRecords(EncodeGroupRecords({SampleGroup()}), groups), ProjectLoadError::None);
    EXPECT_EQ(groups, std::vector<GroupRecord>{SampleGroup()});
    std::vector<ItemRecord> decodedItems;
    ASSERT_EQ(DecodeItemRecords(EncodeItemRecords({kRamp, kSine}), decodedItems), ProjectLoadError::None);
    EXPECT_EQ(decodedItems, (std::vector<ItemRecord>{kRamp, kSine}));
}

TEST(ClipboardRecords, EveryShortenedOrLengthenedPayloadIsRefused) {
    const Bytes payloads[] = {EncodeServerRecords({{"Orvane OPC", "", 0, {SampleGroup()}}}),
                              EncodeGroupRecords({SampleGroup()}), EncodeItemRecords({kRamp, kSine})};
    for (std::size_t level = 0; level < 3; ++level) {
        const Bytes& whole = payloads[level];
        for (std::size_t size = 0; size < whole.size(); ++size) {
            SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(size) + " bytes");
            const Decoded decoded = DecodeAsEach(Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
            const ProjectLoadError own[] = {decoded.servers, decoded.groups, decoded.items};
            EXPECT_NE(own[level], ProjectLoadError::None);
        }
        Bytes longer = whole;
        longer.push_back(0);
        const Decoded decoded = DecodeAsEach(longer);
        const ProjectLoadError own[] = {decoded.servers, decoded.groups, decoded.items};
        EXPECT_EQ(own[level], ProjectLoadError::TrailingBytes) << level;
    }
}

TEST(ClipboardRecords, ForeignOrHostileContentIsRefused) {
    Bytes wrongSchema = EncodeItemRecords({kRamp});
    wrongSchema[4] = 2;  // the first record's schema
    std::vector<ItemRecord> items;
    EXPECT_EQ(DecodeItemRecords(wrongSchema, items), ProjectLoadError::WrongSchema);

    // A count of four thousand million records in eight bytes is believed for no record:
    // nothing is reserved for them.
    const Bytes claims = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    const Decoded decoded = DecodeAsEach(claims);
    EXPECT_EQ(decoded.servers, ProjectLoadError::EndOfFile);
    EXPECT_EQ(decoded.groups, ProjectLoadError::EndOfFile);
    EXPECT_EQ(decoded.items, ProjectLoadError::EndOfFile);

    // Random bytes under our format names: nothing is left of a refused payload (checked in
    // DecodeAsEach).
    std::mt19937 random(23);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes(random() % 64);
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
        if (round % 2 == 0 && bytes.size() >= 4) {
            bytes[0] = static_cast<std::uint8_t>(random() % 3);  // a small count, so records get read
            bytes[1] = bytes[2] = bytes[3] = 0;
        }
        DecodeAsEach(bytes);
    }
    EXPECT_EQ(DecodeItemRecords(Bytes{}, items), ProjectLoadError::EndOfFile);
    EXPECT_EQ(DecodeItemRecords(U32(0), items), ProjectLoadError::None);
    EXPECT_TRUE(items.empty());
}
