// Split-save slicing and the atomic file replacement that every save goes through.
#include "platform/files/atomic_file.h"
#include "persistence/split_save.h"
#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

std::vector<std::size_t> SliceSizes(std::size_t total, int files) {
    std::vector<std::size_t> sizes;
    std::size_t next = 0;
    for (const SplitSlice& slice : SplitSlices(total, files)) {
        EXPECT_EQ(slice.first, next);  // consecutive, nothing skipped
        next = slice.first + slice.count;
        sizes.push_back(slice.count);
    }
    return sizes;
}

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

TEST(SplitSave, SliceSizes) {
    struct Case {
        std::size_t total;
        int files;
        std::vector<std::size_t> sizes;
    };
    const Case cases[] = {
        {5, 2, {3, 2}},
        {10, 3, {4, 4, 2}},
        {10, 4, {4, 4, 2}},  // fewer files than asked
        {3, 5, {3}},         // q = 0, r = T: one file holds all
        {10, 1, {10}},
        {10, 10, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {0, 2, {}},
        {10, 0, {}},
        {10, -3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.total) + " in " + std::to_string(c.files));
        EXPECT_EQ(SliceSizes(c.total, c.files), c.sizes);
    }
}

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
