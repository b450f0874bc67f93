// Global memory blocks, streams on them and storage media.
#include "platform/com/data_object.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

HGLOBAL BlockWith(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

ComPtr<IStream> StreamOver(HGLOBAL block, BOOL deleteOnRelease = TRUE) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(block, deleteOnRelease, stream.put()), S_OK);
    return stream;
}

HRESULT SeekTo(IStream* stream, LONGLONG offset, DWORD origin = STREAM_SEEK_SET, ULONGLONG* now = nullptr) {
    ULARGE_INTEGER position{0};
    const HRESULT hr = stream->Seek(LARGE_INTEGER{offset}, origin, &position);
    if (now) *now = position.QuadPart;
    return hr;
}

TEST(GlobalMemoryTest, SizeIsWhatWasAskedForAndContentsAreZeroed) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 13);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 13u);
    const auto* data = static_cast<const unsigned char*>(GlobalLock(block));
    for (int i = 0; i < 13; ++i) EXPECT_EQ(data[i], 0);
    EXPECT_EQ(GlobalUnlock(block), FALSE) << "no locks left";
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u) << "a freed handle is recognised";
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalFree(block), block) << "freeing twice fails instead of corrupting the heap";
}

struct ReadCase {
    const char* name;
    LONGLONG seek;
    ULONG ask;
    HRESULT hr;
    std::string got;
};

TEST(HGlobalStreamTest, ReadsStopAtTheEndOfTheBlock) {
    const ReadCase cases[] = {
        {"inside", 0, 4, S_OK, "0123"},          {"up to the end", 6, 4, S_OK, "6789"},
        {"across the end", 8, 4, S_FALSE, "89"}, {"at the end", 10, 1, S_FALSE, ""},
        {"past the end", 25, 4, S_FALSE, ""},    {"nothing asked", 3, 0, S_OK, ""},
    };
    ComPtr<IStream> stream = StreamOver(BlockWith("0123456789"));
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(SeekTo(stream.get(), c.seek), S_OK);
        char buffer[8] = {};
        ULONG read = 99;
        EXPECT_EQ(stream->Read(buffer, c.ask, &read), c.hr);
        EXPECT_EQ(std::string(buffer, read), c.got);
    }
}

TEST(HGlobalStreamTest, SeekRefusesPositionsBeforeTheStart) {
    ComPtr<IStream> stream = StreamOver(BlockWith("0123456789"));
    ULONGLONG now = 0;
    ASSERT_EQ(SeekTo(stream.get(), 4), S_OK);
    EXPECT_EQ(SeekTo(stream.get(), -5, STREAM_SEEK_CUR), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(SeekTo(stream.get(), -2, STREAM_SEEK_END, &now), S_OK);
    EXPECT_EQ(now, 8u);
    EXPECT_EQ(SeekTo(stream.get(), 1, STREAM_SEEK_CUR, &now), S_OK);
    EXPECT_EQ(now, 9u);
    EXPECT_EQ(SeekTo(stream.get(), 0, 7), STG_E_INVALIDFUNCTION) << "unknown origin";
    EXPECT_EQ(SeekTo(stream.get(), std::numeric_limits<LONGLONG>::max(), STREAM_SEEK_CUR), STG_E_INVALIDFUNCTION);
}

TEST(HGlobalStreamTest, WritesGrowTheBlockAndFillGapsWithZeros) {
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write("abc", 3, &written), S_OK);
    EXPECT_EQ(written, 3u);
    ASSERT_EQ(SeekTo(stream.get(), 6), S_OK);
    ASSERT_EQ(stream->Write("z", 1, nullptr), S_OK);

    HGLOBAL block = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(stream.get(), &block), S_OK);
    ASSERT_EQ(GlobalSize(block), 7u);
    const char* data = static_cast<const char*>(GlobalLock(block));
    EXPECT_EQ(std::string(data, 7), std::string("abc\0\0\0z", 7));
    GlobalUnlock(block);

    STATSTG stat;
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 7u);
    EXPECT_EQ(stat.type, STGTY_STREAM);
}

TEST(HGlobalStreamTest, DeleteOnReleaseFreesTheBlockAfterTheLastClone) {
    HGLOBAL kept = BlockWith("kept");
    StreamOver(kept, FALSE).reset();
    EXPECT_EQ(GlobalSize(kept), 4u) << "the caller still owns it";
    EXPECT_EQ(GlobalFree(kept), nullptr);

    HGLOBAL owned = BlockWith("owned");
    ComPtr<IStream> stream = StreamOver(owned, TRUE);
    ComPtr<IStream> clone;
    ASSERT_EQ(SeekTo(stream.get(), 2), S_OK);
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    stream.reset();
    EXPECT_EQ(GlobalSize(owned), 5u) << "the clone keeps the block";
    char buffer[4] = {};
    ULONG read = 0;
    EXPECT_EQ(clone->Read(buffer, 3, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "ned") << "the clone starts at the original's position";
    clone.reset();
    EXPECT_EQ(GlobalSize(owned), 0u);
}

TEST(HGlobalStreamTest, BadArgumentsAreRefused) {
    ComPtr<IStream> stream = StreamOver(BlockWith("x"));
    EXPECT_EQ(stream->Read(nullptr, 1, nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(nullptr, 1, nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
    HGLOBAL freed = GlobalAlloc(GMEM_FIXED, 1);
    GlobalFree(freed);
    ComPtr<IStream> none;
    EXPECT_EQ(CreateStreamOnHGlobal(freed, TRUE, none.put()), E_INVALIDARG);
    HGLOBAL block = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(nullptr, &block), E_INVALIDARG);
}

TEST(StgMediumTest, ReleaseFreesTheDataOrReleasesItsOwner) {
    STGMEDIUM global;
    global.tymed = TYMED_HGLOBAL;
    global.hGlobal = BlockWith("data");
    HGLOBAL block = global.hGlobal;
    ReleaseStgMedium(&global);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(global.tymed, TYMED_NULL);
    EXPECT_EQ(global.hGlobal, nullptr);

    std::atomic<int> destroyed{0};
    STGMEDIUM lent;
    lent.tymed = TYMED_HGLOBAL;
    lent.hGlobal = BlockWith("lent");
    lent.pUnkForRelease = MakeComObject<CountedObject>(&destroyed).detach()->Identity();  // the medium's reference
    block = lent.hGlobal;
    ReleaseStgMedium(&lent);
    EXPECT_EQ(destroyed, 1) << "the owner was released";
    EXPECT_EQ(GlobalSize(block), 4u) << "the owner, not the medium, frees the data";
    GlobalFree(block);

    STGMEDIUM streamed;
    streamed.tymed = TYMED_ISTREAM;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &streamed.pstm), S_OK);
    ReleaseStgMedium(&streamed);  // the stream is released (a leak shows under ASan)
    EXPECT_EQ(streamed.pstm, nullptr);
    ReleaseStgMedium(nullptr);
}

}  // namespace
