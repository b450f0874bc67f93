// The fuzz corpus of the OPC DA 1.0 stream reader (decode, encode with the simulation server's
// encoder, decode again), replayed as a test.
#include "tests/support/corpus_replay.h"

extern "C" int Stream10FuzzInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, Stream10Blocks) {
    EXPECT_GT(ReplayCorpus(OPC_SOURCE_DIR "/fuzz/corpus/stream10", Stream10FuzzInput), 0);
}
