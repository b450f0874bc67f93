// The project file byte for byte: field layout, the string-length prefix in every size class,
// the UTF-16 form, and files that are truncated or corrupt.
#include "persistence/archive.h"
#include "persistence/project_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes TextBytes(const std::string& text) {
    ArchiveWriter out;
    out.Text(text);
    return out.Bytes();
}

ProjectRecord SampleProject() {
    ProjectRecord project;
    ServerRecord s1{"Orvane OPC", "", 0x00000005, {}};
    GroupRecord g1;
    g1.name = "Fast";
    g1.updateRate = 250;
    g1.timeBias = -60;
    g1.percentDeadband = 0.5f;
    g1.updateMethod = 0;
    g1.refreshInterval = 3;
    g1.items.push_back({"", "Ramp.I2", 1, 2, 3, 12, 0});
    g1.items.push_back({"path", "Sine.R8", 0, 5, 1, -1, 0xDEADBEEF});
    s1.groups.push_back(g1);
    s1.groups.push_back(GroupRecord{});
    ServerRecord s2{"Other.Server", "plant-pc", 0, {}};
    project.servers = {s1, s2};
    return project;
}

}  // namespace

TEST(ProjectFile, EmptyProjectIsFourZeroBytes) { EXPECT_EQ(EncodeProject({}), (Bytes{0, 0, 0, 0})); }

TEST(ProjectFile, OneServerWithoutGroups) {
    ProjectRecord project;
    project.servers.push_back({"A", "", 0x04030201, {}});
    EXPECT_EQ(EncodeProject(project), Cat({U32(1), U32(1), {0x01, 'A'}, {0x00}, {1, 2, 3, 4}, U32(0)}));
}

TEST(ProjectFile, GroupAndItemFieldOrder) {
    ProjectRecord project;
    ServerRecord server{"S", "", 0, {}};
    GroupRecord group;
    group.name = "G";
    group.updateRate = 100;
    group.localeId = 1033;
    group.timeBias = -1;
    group.percentDeadband = 1.0f;  // 0x3F800000
    group.active = 1;
    group.updateMethod = 2;
    group.removalFlags = 1;
    group.refreshInterval = 7;
    group.items.push_back({"AP", "ID", 1, 0x2004, 3, 12, 0x11223344});
    server.groups.push_back(group);
    project.servers.push_back(server);

    const Bytes item =
        Cat({U32(1), {2, 'A', 'P'}, {2, 'I', 'D'}, U32(1), {0x04, 0x20}, U32(3), U32(12), U32(0x11223344)});
    // The item count stands before the refresh interval; the items follow it.
    const Bytes groupBytes = Cat({U32(1),
                                  {1, 'G'},
                                  U32(100),
                                  U32(1033),
                                  U32(0xFFFFFFFF),
                                  U32(0x3F800000),
                                  U32(1),
                                  U32(2),
                                  U32(1),
                                  U32(1),
                                  U32(7),
                                  item});
    EXPECT_EQ(EncodeProject(project), Cat({U32(1), U32(1), {1, 'S'}, {0}, U32(0), U32(1), groupBytes}));
}

TEST(ProjectFile, StringLengthPrefixInEverySizeClass) {
    struct Case {
        std::size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {65533, {0xFF, 0xFD, 0xFF}},
        // 0xFFFE would read as the UTF-16 marker: it takes the long form.
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        const Bytes bytes = TextBytes(text);
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(c.prefix.size())), c.prefix);

        ArchiveReader in(bytes);
        std::string back;
        EXPECT_TRUE(in.Text(back));
        EXPECT_EQ(back, text);
        EXPECT_TRUE(in.AtEnd());
    }
}

TEST(ProjectFile, ReadsUtf16Texts) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string text;
    };
    Bytes long16 = {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01};
    for (int i = 0; i < 300; ++i) long16.insert(long16.end(), {'z', 0});
    const Case cases[] = {
        {"short", {0xFF, 0xFE, 0xFF, 0x03, 'A', 0, 'B', 0, 0x2D, 0x4E}, "AB\xE4\xB8\xAD"},
        {"empty", {0xFF, 0xFE, 0xFF, 0x00}, ""},
        {"u16 length", long16, std::string(300, 'z')},
        {"surrogate pair", {0xFF, 0xFE, 0xFF, 0x02, 0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
        {"lone surrogate", {0xFF, 0xFE, 0xFF, 0x01, 0x00, 0xD8}, "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArchiveReader in(c.bytes);
        std::string text;
        EXPECT_TRUE(in.Text(text));
        EXPECT_EQ(text, c.text);
        EXPECT_TRUE(in.AtEnd());
    }
}

TEST(ProjectFile, Utf16ProgIdLoadsAsUtf8) {
    const Bytes file = Cat({U32(1), U32(1), {0xFF, 0xFE, 0xFF, 0x02, 'O', 0, 0xA5, 0x03}, {0}, U32(0), U32(0)});
    ProjectRecord project;
    ASSERT_EQ(DecodeProject(file, project), ProjectLoadError::None);
    ASSERT_EQ(project.servers.size(), 1u);
    EXPECT_EQ(project.servers[0].progId, "O\xCE\xA5");
}

TEST(ProjectFile, DecodeThenEncodeGivesTheSameBytes) {
    const Bytes file = EncodeProject(SampleProject());
    ProjectRecord project;
    ASSERT_EQ(DecodeProject(file, project), ProjectLoadError::None);
    EXPECT_EQ(project, SampleProject());
    EXPECT_EQ(EncodeProject(project), file);
}

TEST(ProjectFile, EveryTruncationIsRefused) {
    const Bytes file = EncodeProject(SampleProject());
    for (std::size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        ProjectRecord project;
        EXPECT_EQ(DecodeProject(std::span(file.data(), size), project), ProjectLoadError::EndOfFile);
        EXPECT_TRUE(project.servers.empty());
    }
}

TEST(ProjectFile, CorruptFilesAreRefused) {
    const Bytes oneServer = Cat({U32(1), U32(1), {1, 'A'}, {0}, U32(0), U32(0)});
    const Bytes groupHead = Cat({U32(1), {0}, U32(100), U32(1033), U32(0), U32(0), U32(1), U32(2), U32(0)});
    const Bytes serverWithGroup = Cat({U32(1), U32(1), {0}, {0}, U32(0), U32(1)});
    struct Case {
        const char* name;
        Bytes file;
        ProjectLoadError error;
    };
    const Case cases[] = {
        {"server schema 2", Cat({U32(1), U32(2), {1, 'A'}, {0}, U32(0), U32(0)}), ProjectLoadError::WrongSchema},
        {"server schema 0", Cat({U32(1), U32(0), {1, 'A'}, {0}, U32(0), U32(0)}), ProjectLoadError::WrongSchema},
        {"group schema 2",
         Cat({serverWithGroup,
              U32(2),
              {0},
              U32(100),
              U32(1033),
              U32(0),
              U32(0),
              U32(1),
              U32(2),
              U32(0),
              U32(0),
              U32(1)}),
         ProjectLoadError::WrongSchema},
        {"item schema 2",
         Cat({serverWithGroup,
              groupHead,
              U32(1),
              U32(1),
              U32(2),
              {0},
              {1, 'I'},
              U32(1),
              {0, 0},
              U32(1),
              U32(1),
              U32(0)}),
         ProjectLoadError::WrongSchema},
        {"server count beyond the file", Cat({U32(0xFFFFFFFF), U32(1)}), ProjectLoadError::EndOfFile},
        {"server count one too many", Cat({U32(2), Bytes(oneServer.begin() + 4, oneServer.end())}),
         ProjectLoadError::EndOfFile},
        {"group count beyond the file", Cat({U32(1), U32(1), {0}, {0}, U32(0), U32(0x7FFFFFFF)}),
         ProjectLoadError::EndOfFile},
        {"item count beyond the file", Cat({serverWithGroup, groupHead, U32(0xFFFFFFFF), U32(1)}),
         ProjectLoadError::EndOfFile},
        {"text of 4 GiB", Cat({U32(1), U32(1), {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}}),
         ProjectLoadError::EndOfFile},
        {"text with an 8-byte length",
         Cat({U32(1),
              U32(1),
              {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
              {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}),
         ProjectLoadError::EndOfFile},
        {"UTF-16 text longer than the file", Cat({U32(1), U32(1), {0xFF, 0xFE, 0xFF, 0x10, 'A', 0}}),
         ProjectLoadError::EndOfFile},
        {"UTF-16 text of 2^31 units", Cat({U32(1), U32(1), {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80}}),
         ProjectLoadError::EndOfFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProjectRecord project;
        EXPECT_EQ(DecodeProject(c.file, project), c.error);
        EXPECT_TRUE(project.servers.empty());
    }
}
