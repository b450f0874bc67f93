// The fuzz corpora of the project file reader and the CSV import, replayed as tests.
#include "tests/support/corpus_replay.h"

extern "C" int ProjectFuzzInput(const std::uint8_t* data, std::size_t size);
extern "C" int CsvFuzzInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, ProjectFiles) { EXPECT_GT(ReplayCorpus(OPC_SOURCE_DIR "/fuzz/corpus/project", ProjectFuzzInput), 0); }

TEST(FuzzCorpus, CsvFiles) { EXPECT_GT(ReplayCorpus(OPC_SOURCE_DIR "/fuzz/corpus/csv", CsvFuzzInput), 0); }
