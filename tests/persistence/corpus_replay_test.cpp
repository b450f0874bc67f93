// Replays the fuzz corpora of the project file reader and the CSV import through the fuzz
// targets' own checks (each aborts on a broken round trip), so that every input that once
// found new paths stays covered by the ordinary test run.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int ProjectFuzzInput(const std::uint8_t* data, std::size_t size);
extern "C" int CsvFuzzInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::string& folder, int (*target)(const std::uint8_t*, std::size_t)) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    return files;
}

}  // namespace

TEST(FuzzCorpus, ProjectFiles) { EXPECT_GT(Replay(OPC_SOURCE_DIR "/fuzz/corpus/project", ProjectFuzzInput), 0); }

TEST(FuzzCorpus, CsvFiles) { EXPECT_GT(Replay(OPC_SOURCE_DIR "/fuzz/corpus/csv", CsvFuzzInput), 0); }
