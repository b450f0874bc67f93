// The atomic file replacement that every save of a project, OPC.cfg and the autostart entry
// goes through.
#include "platform/files/atomic_file.h"
#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Limits the size of files this process may write, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace

TEST(AtomicFile, CreatesAndReplaces) {
    TempFolder folder;
    const std::string path = folder / "p.ovopc";
    ASSERT_TRUE(WriteFileAtomically(path, AsBytes("first")));
    EXPECT_EQ(TempFolder::Read(path), "first");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomically(path, AsBytes("second, longer")));
    EXPECT_EQ(TempFolder::Read(path), "second, longer");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);  // the replaced file keeps its permissions
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::string>{"p.ovopc"}));
}

TEST(AtomicFile, FollowsSymbolicLinks) {
    TempFolder folder;
    TempFolder::Write(folder / "real.ovopc", "old");
    std::filesystem::create_symlink(folder / "real.ovopc", folder / "link.ovopc");
    ASSERT_TRUE(WriteFileAtomically(folder / "link.ovopc", AsBytes("new")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.ovopc"));
    EXPECT_EQ(TempFolder::Read(folder / "real.ovopc"), "new");
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder / "p.ovopc";
    TempFolder::Write(path, "the good old project");
    std::string error;
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileAtomically(path, AsBytes(std::string(4096, 'n')), &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(TempFolder::Read(path), "the good old project");
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::string>{"p.ovopc"}));  // no temporary left
}

TEST(AtomicFile, MissingFolderFails) {
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(folder / "no/such/p.ovopc", AsBytes("x"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(AtomicFile, AGivenModeReplacesTheOldOne) {
    TempFolder folder;
    const std::string path = folder / "OPC.cfg";
    TempFolder::Write(path, "[CONFIG]\n");
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("[CONFIG]\nPATH=/p\n"), nullptr, 0644));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(TempFolder::Read(path), "[CONFIG]\nPATH=/p\n");
}
