#include "platform/autostart/autostart.h"

#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace {

// Points XDG_CONFIG_DIRS at a temporary folder with an "autostart" folder in it.
class Autostart : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_DIRS")) saved_ = old;
        ::setenv("XDG_CONFIG_DIRS", (folder.path() + ":/etc/xdg").c_str(), 1);
        std::filesystem::create_directory(folder / "autostart");
    }
    void TearDown() override {
        if (saved_)
            ::setenv("XDG_CONFIG_DIRS", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_DIRS");
    }
    std::string Entry() const { return folder / "autostart/OrvaneOpcClient.desktop"; }

    TempFolder folder;
    const std::string exe = "/opt/orvane/bin/opcstation";

private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(Autostart, FolderIsTheFirstConfigDirPlusAutostart) {
    EXPECT_EQ(AutostartFolder(), folder / "autostart");
    EXPECT_EQ(AutostartEntryPath(), Entry());
    ::setenv("XDG_CONFIG_DIRS", "", 1);
    EXPECT_EQ(AutostartFolder(), "/etc/xdg/autostart");
    ::unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(AutostartFolder(), "/etc/xdg/autostart");
    ::setenv("XDG_CONFIG_DIRS", "/a/b/:/c", 1);
    EXPECT_EQ(AutostartFolder(), "/a/b/autostart");
}

TEST_F(Autostart, SwitchOnThenOffRoundTrip) {
    const AutostartState none = AutostartRead(exe);
    EXPECT_FALSE(none.on);
    EXPECT_EQ(none.error, AutostartError::None);

    const AutostartResult on = AutostartWrite(true, exe);
    EXPECT_TRUE(on.ok);
    EXPECT_TRUE(AutostartRead(exe).on);

    const AutostartResult off = AutostartWrite(false, exe);
    EXPECT_TRUE(off.ok);
    const AutostartState afterOff = AutostartRead(exe);
    EXPECT_FALSE(afterOff.on);
    EXPECT_EQ(afterOff.error, AutostartError::None);
    // Switching off leaves the entry with an empty command.
    ASSERT_TRUE(std::filesystem::exists(Entry()));
    EXPECT_NE(TempFolder::Read(Entry()).find("\nExec=\n"), std::string::npos);
}

TEST_F(Autostart, OnOnlyForExactlyThisExecutable) {
    ASSERT_TRUE(AutostartWrite(true, "/other/install/opcstation").ok);
    EXPECT_FALSE(AutostartRead(exe).on);
    EXPECT_FALSE(AutostartRead("/OTHER/install/opcstation").on);
    EXPECT_TRUE(AutostartRead("/other/install/opcstation").on);
    EXPECT_FALSE(AutostartRead("").on);
}

TEST_F(Autostart, ProgramPathsWithSpecialCharactersRoundTrip) {
    for (const std::string path :
         {"/opt/my app/opc station", "/opt/a\"b/c$d`e\\f", "/opt/100%/x", "/opt/程序/opcstation"}) {
        ASSERT_TRUE(AutostartWrite(true, path).ok) << path;
        EXPECT_TRUE(AutostartRead(path).on) << path;
        EXPECT_EQ(DesktopEntryProgram(DesktopEntryText(path)), path);
    }
}

TEST(DesktopEntry, ProgramOfHandWrittenEntries) {
    const struct {
        const char* text;
        const char* program;
    } cases[] = {
        {"[Desktop Entry]\nExec=/usr/bin/opcstation\n", "/usr/bin/opcstation"},
        {"[Desktop Entry]\r\nExec = /usr/bin/opcstation --tray\r\n", "/usr/bin/opcstation"},
        {"[Desktop Entry]\nExec=\"/my app/x\" %f\n", "/my app/x"},
        {"[Desktop Entry]\nExec=/usr/bin/opcstation\nHidden=true\n", ""},
        {"[Other]\nExec=/usr/bin/opcstation\n", ""},
        {"[Desktop Entry]\nExec=\n", ""},
        {"[Desktop Entry]\nExec=\"/unterminated\n", "/unterminated"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DesktopEntryProgram(c.text), c.program) << c.text;
}

TEST_F(Autostart, FolderThatCannotBeOpenedIsReportedForReadAndWrite) {
    // Missing folder, and a file where the folder should be (refused even for root).
    for (const bool fileInstead : {false, true}) {
        std::filesystem::remove_all(folder / "autostart");
        if (fileInstead) TempFolder::Write(folder / "autostart", "not a folder");
        const AutostartState read = AutostartRead(exe);
        EXPECT_FALSE(read.on);
        EXPECT_EQ(read.error, AutostartError::CannotOpen);
        EXPECT_EQ(read.code, fileInstead ? ENOTDIR : ENOENT);
        const AutostartResult write = AutostartWrite(true, exe);
        EXPECT_FALSE(write.ok);
        EXPECT_EQ(write.error, AutostartError::CannotOpen);
        EXPECT_EQ(write.code, fileInstead ? ENOTDIR : ENOENT);
    }
}

TEST_F(Autostart, EntryThatCannotBeReadOrWrittenIsReported) {
    // A folder in place of the entry: reading it fails, and replacing it fails.
    std::filesystem::create_directory(Entry());
    TempFolder::Write(Entry() + "/keep", "x");
    const AutostartState read = AutostartRead(exe);
    EXPECT_FALSE(read.on);
    EXPECT_EQ(read.error, AutostartError::CannotRead);
    EXPECT_EQ(read.code, EISDIR);
    const AutostartResult write = AutostartWrite(true, exe);
    EXPECT_FALSE(write.ok);
    EXPECT_EQ(write.error, AutostartError::CannotWrite);
    EXPECT_NE(write.code, 0);
    // Nothing half-written is left behind.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder / "autostart"), std::filesystem::directory_iterator()),
        1);
}

TEST_F(Autostart, UnwritableFolderIsReportedWhenNotRoot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    std::filesystem::permissions(folder / "autostart",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const AutostartResult write = AutostartWrite(true, exe);
    EXPECT_FALSE(write.ok);
    EXPECT_EQ(write.error, AutostartError::CannotWrite);
    EXPECT_EQ(write.code, EACCES);
    EXPECT_FALSE(AutostartRead(exe).on);
    std::filesystem::permissions(folder / "autostart", std::filesystem::perms::owner_all);
}

TEST_F(Autostart, UnreadableFolderIsReportedWhenNotRoot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may read anywhere";
    std::filesystem::permissions(folder / "autostart", std::filesystem::perms::none);
    const AutostartState read = AutostartRead(exe);
    EXPECT_EQ(read.error, AutostartError::CannotOpen);
    EXPECT_EQ(read.code, EACCES);
    std::filesystem::permissions(folder / "autostart", std::filesystem::perms::owner_all);
}

TEST_F(Autostart, OversizedEntryIsReadWithoutTrouble) {
    TempFolder::Write(Entry(), "[Desktop Entry]\nExec=" + exe + "\n" + std::string(1 << 20, '#'));
    EXPECT_TRUE(AutostartRead(exe).on);
}
