#include "platform/settings/profile.h"

#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Every test has a profile folder of its own, so no cached file is shared between tests.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override { Profile::UseFolderForTesting(folder.path()); }
    std::string ProfileFile() const { return folder / "Orvane/Orvane OPC.ini"; }
    void WriteProfileFile(const std::string& text) const {
        std::filesystem::create_directories(folder / "Orvane");
        TempFolder::Write(ProfileFile(), text);
    }

    TempFolder folder;
};

}  // namespace

TEST_F(ProfileTest, ValuesSurviveIntoANewProfileInTheOrvaneFile) {
    {
        Profile profile;
        EXPECT_EQ(profile.GetInt("Event View", "0", 120), 120);
        EXPECT_EQ(profile.GetString("Paths", "Open File", "none"), "none");
        profile.WriteInt("Event View", "0", 200);
        profile.WriteInt("Event View", "Log Errors Only", 1);
        profile.WriteInt("Main Window", "State", -1);
        profile.WriteString("Paths", "Open File", "/home/用户/projects");
    }
    EXPECT_TRUE(std::filesystem::exists(ProfileFile()));
    Profile profile;
    EXPECT_EQ(profile.GetInt("Event View", "0", 120), 200);
    EXPECT_EQ(profile.GetInt("Event View", "Log Errors Only", 0), 1);
    EXPECT_EQ(profile.GetInt("Main Window", "State", 0), -1);
    EXPECT_EQ(profile.GetString("Paths", "Open File", ""), "/home/用户/projects");
    // Sections do not mix.
    EXPECT_EQ(profile.GetInt("Item View", "0", 7), 7);
}

TEST_F(ProfileTest, MalformedStoredValuesGiveTheDefault) {
    WriteProfileFile(
        "[Event%20View]\n"
        "0=abc\n"
        "1=12abc\n"
        "2=\n"
        "Log%20Errors%20Only=99999999999999\n"
        "[Main%20Window]\n"
        "x=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n"
        "y=1, 2, 3\n"
        "cx= 640 \n");
    Profile profile;
    const struct {
        const char* section;
        const char* key;
        int expected;
    } cases[] = {
        {"Event View", "0", -1},    {"Event View", "1", -1},
        {"Event View", "2", -1},    {"Event View", "Log Errors Only", -1},
        {"Main Window", "x", -1},   {"Main Window", "y", -1},
        {"Main Window", "cx", 640},
    };
    for (const auto& c : cases)
        EXPECT_EQ(profile.GetInt(c.section, c.key, -1), c.expected) << c.section << "/" << c.key;
}

TEST_F(ProfileTest, GarbageFileGivesDefaultsAndCanBeWrittenOver) {
    WriteProfileFile(std::string("\0\x01\xff[[[\n=\n\\", 10));
    {
        Profile profile;
        EXPECT_EQ(profile.GetInt("Main Window", "x", 10), 10);
        EXPECT_EQ(profile.GetString("Paths", "Open File", ""), "");
        profile.WriteInt("Main Window", "x", 33);
    }
    Profile profile;
    EXPECT_EQ(profile.GetInt("Main Window", "x", 10), 33);
}
