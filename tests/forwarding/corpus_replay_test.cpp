// The fuzz corpus of the forwarding frame handling (whole and cut receives, replies, request
// round trips), replayed as a test. Its own executable: the target places items in the
// address registry.
#include "tests/support/corpus_replay.h"

extern "C" int FrameFuzzInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, ForwardingFrames) { EXPECT_GT(ReplayCorpus(OPC_SOURCE_DIR "/fuzz/corpus/frame", FrameFuzzInput), 0); }
