#include "platform/config/opc_config.h"
#include "platform/config/ini_file.h"

#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

class OpcConfig : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolderForTesting(folder.path()); }
    void TearDown() override { SetProgramFolderForTesting(""); }
    std::string ConfigFile() const { return folder / "OPC.cfg"; }

    TempFolder folder;
};

}  // namespace

TEST(IniText, FindIgnoresCaseTrimsAndStripsQuotes) {
    const std::string text =
        "; comment\n"
        "[Other]\nPATH=wrong\n"
        "  [ config ]  \r\n"
        "  Path =  \"/a b/c.ovopc\" \r\n"
        "novalue\n"
        "start_addr=12\n";
    const struct {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {"CONFIG", "PATH", "/a b/c.ovopc"},  {"config", "START_ADDR", "12"},      {"Other", "path", "wrong"},
        {"CONFIG", "novalue", std::nullopt}, {"CONFIG", "missing", std::nullopt}, {"Missing", "PATH", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ini::Find(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(IniText, SetReplacesInsertsOrAppendsAndKeepsEverythingElse) {
    const struct {
        const char* name;
        const char* before;
        const char* after;
    } cases[] = {
        {"empty file", "", "[CONFIG]\nPATH=v\n"},
        {"replace, keep order and others", "[CONFIG]\nA=1\npath=old\nB=2\n", "[CONFIG]\nA=1\nPATH=v\nB=2\n"},
        {"insert after the section's last key, before the next section", "[CONFIG]\nA=1\n\n[Next]\nC=3\n",
         "[CONFIG]\nA=1\nPATH=v\n\n[Next]\nC=3\n"},
        {"other section only", ";c\n[Next]\nC=3", ";c\n[Next]\nC=3\n[CONFIG]\nPATH=v\n"},
        {"same key in another section untouched", "[Next]\nPATH=x\n[config]\n", "[Next]\nPATH=x\n[config]\nPATH=v\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ini::Set(c.before, "CONFIG", "PATH", "v"), c.after) << c.name;
}

TEST_F(OpcConfig, StartAddressReadsLikeAtoiAndNeverNegative) {
    const struct {
        const char* fileText;  // nullptr: no file
        unsigned expected;
    } cases[] = {
        {nullptr, 1},
        {"[CONFIG]\nPATH=/x\n", 1},
        {"[CONFIG]\nSTART_ADDR=-5\n", 0},
        {"[CONFIG]\nSTART_ADDR=abc\n", 0},
        {"[CONFIG]\nSTART_ADDR=12abc\n", 12},
        {"[CONFIG]\nSTART_ADDR=\n", 0},
        {"[CONFIG]\nSTART_ADDR= +40 \n", 40},
        {"[CONFIG]\nSTART_ADDR=99999999999999\n", unsigned(INT_MAX)},
        {"[CONFIG]\nSTART_ADDR=-99999999999999\n", 0},
        {"[config]\nstart_addr=7\n", 7},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(ConfigFile());
        if (c.fileText) TempFolder::Write(ConfigFile(), c.fileText);
        EXPECT_EQ(ReadStartAddress(), c.expected) << (c.fileText ? c.fileText : "(no file)");
    }
}

TEST_F(OpcConfig, HostPingTakesSaneMillisecondsOrTheDefaults) {
    const struct {
        const char* fileText;  // nullptr: no file
        unsigned period;
        unsigned timeout;
    } cases[] = {
        {nullptr, 1000, 3000},
        {"[CONFIG]\nHOST_PING_PERIOD=200\nHOST_PING_TIMEOUT=900\n", 200, 900},
        {"[CONFIG]\nHOST_PING_TIMEOUT=10000\n", 1000, 10000},
        {"[CONFIG]\nHOST_PING_PERIOD=250\n", 250, 3000},
        {"[CONFIG]\nHOST_PING_PERIOD=0\n", 1000, 3000},
        {"[CONFIG]\nHOST_PING_PERIOD=12abc\n", 1000, 3000},
        {"[CONFIG]\nHOST_PING_PERIOD=-100\n", 1000, 3000},
        {"[CONFIG]\nHOST_PING_TIMEOUT=99999999999999\n", 1000, 3000},
        {"[CONFIG]\nHOST_PING_TIMEOUT=100\n", 1000, 3000},
        // A timeout that a single late ping would pass is no timeout at all.
        {"[CONFIG]\nHOST_PING_PERIOD=2000\nHOST_PING_TIMEOUT=3000\n", 1000, 3000},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(ConfigFile());
        if (c.fileText) TempFolder::Write(ConfigFile(), c.fileText);
        const HostPingSettings ping = ReadHostPing();
        EXPECT_EQ(ping.periodMs, c.period) << (c.fileText ? c.fileText : "(no file)");
        EXPECT_EQ(ping.timeoutMs, c.timeout) << (c.fileText ? c.fileText : "(no file)");
    }
}

TEST_F(OpcConfig, StoreStartAddressWritesClampedText) {
    StoreStartAddress(-3);
    EXPECT_EQ(*ini::ReadValue(ConfigFile(), "CONFIG", "START_ADDR"), "0");
    StoreStartAddress(250);
    EXPECT_EQ(*ini::ReadValue(ConfigFile(), "CONFIG", "START_ADDR"), "250");
}

TEST_F(OpcConfig, ProjectPathRoundTripKeepsOtherKeysAndSections) {
    EXPECT_EQ(ReadProjectPath(), "");
    TempFolder::Write(ConfigFile(), "; kept\n[Other]\nX=1\n[CONFIG]\nSTART_ADDR=5\nEXTRA=yes\n");
    const std::string path = "/home/用户/my projects/plant 1.ovopc";
    WriteProjectPath(path);
    EXPECT_EQ(ReadProjectPath(), path);
    EXPECT_EQ(ReadStartAddress(), 5u);
    EXPECT_EQ(TempFolder::Read(ConfigFile()),
              "; kept\n[Other]\nX=1\n[CONFIG]\nSTART_ADDR=5\nEXTRA=yes\nPATH=" + path + "\n");
    WriteProjectPath("/second.ovopc");
    EXPECT_EQ(ReadProjectPath(), "/second.ovopc");
}

TEST_F(OpcConfig, FirstWriteCreatesTheFile) {
    ASSERT_FALSE(std::filesystem::exists(ConfigFile()));
    WriteProjectPath("/p.ovopc");
    EXPECT_EQ(TempFolder::Read(ConfigFile()), "[CONFIG]\nPATH=/p.ovopc\n");
    // Nothing but the file itself is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()),
              1);
}

TEST_F(OpcConfig, ValueWithALineBreakIsNotWritten) {
    TempFolder::Write(ConfigFile(), "[CONFIG]\nSTART_ADDR=5\n");
    WriteProjectPath("/x.ovopc\nSTART_ADDR=900");
    EXPECT_EQ(ReadStartAddress(), 5u);
    EXPECT_EQ(ReadProjectPath(), "");
}

TEST_F(OpcConfig, MalformedOrUnreadableFileGivesDefaults) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"binary garbage", std::string("\0\xff\xfe[\x01=\n=\n[[]]\n", 14)},
        {"keys outside any section", "START_ADDR=9\nPATH=/x\n"},
        {"unterminated section header", "[CONFIG\nSTART_ADDR=9\n"},
        {"larger than any configuration", "[CONFIG]\nSTART_ADDR=9\n" + std::string(2 << 20, ';')},
    };
    for (const auto& c : cases) {
        TempFolder::Write(ConfigFile(), c.text);
        EXPECT_EQ(ReadStartAddress(), 1u) << c.name;
        EXPECT_EQ(ReadProjectPath(), "") << c.name;
    }
    // A file that cannot be read is not replaced by a write (its other content would be lost).
    const std::string big = TempFolder::Read(ConfigFile());
    WriteProjectPath("/p.ovopc");
    EXPECT_EQ(TempFolder::Read(ConfigFile()).size(), big.size());

    // A folder in place of the file.
    std::filesystem::remove(ConfigFile());
    std::filesystem::create_directory(ConfigFile());
    EXPECT_EQ(ReadStartAddress(), 1u);
    StoreStartAddress(4);
    EXPECT_TRUE(std::filesystem::is_directory(ConfigFile()));
}

TEST_F(OpcConfig, MissingProgramFolderLosesWritesQuietly) {
    SetProgramFolderForTesting(folder / "gone");
    WriteProjectPath("/p.ovopc");
    EXPECT_EQ(ReadProjectPath(), "");
    EXPECT_EQ(ReadStartAddress(), 1u);
}

TEST(ProgramFolder, IsTheExecutablesFolderWithATrailingSlash) {
    SetProgramFolderForTesting("");
    const std::string program = GetProgramPath();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(GetProgramFolder(), program.substr(0, program.rfind('/') + 1));
    EXPECT_TRUE(std::filesystem::equivalent(program, "/proc/self/exe"));
    SetProgramFolderForTesting("/some/where");
    EXPECT_EQ(GetProgramFolder(), "/some/where/");
    EXPECT_EQ(GetConfigFilePath(), "/some/where/OPC.cfg");
    SetProgramFolderForTesting("");
}
