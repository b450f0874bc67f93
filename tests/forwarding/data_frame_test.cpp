#include "forwarding/data_frame.h"

#include "forwarding/frame_codec.h"
#include "frames.h"
#include "registered_items.h"
#include "opc/client/item_address_registry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Bytes Build(std::uint16_t first, std::uint16_t count) {
    Bytes out;
    const std::size_t length = BuildDataFrame(CItemAddressRegistry::Instance(), first, count, out);
    EXPECT_EQ(length, out.size());
    return out;
}

Bytes FloatBytes(float f) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &f, 4);
    return bytes;
}

class DataFrame : public ::testing::Test {
protected:
    RegisteredItems items;
};

}  // namespace

TEST_F(DataFrame, ExamplesOfTheFrameFormat) {
    items.Add(5, VT_R4, R4(2.5f));
    items.Add(11, VT_I4, I4(-2));
    items.Add(20, VT_BOOL, Bool(true));
    items.Add(21, VT_BOOL, Bool(false));

    EXPECT_EQ(Build(0, 0), ReplyBytes(0, {}));
    Bytes r4 = {0x05, 0x00, 0x88};
    for (std::uint8_t b : FloatBytes(2.5f)) r4.push_back(b);
    EXPECT_EQ(Build(5, 1), ReplyBytes(1, r4));
    // Three addresses of which only the middle one is registered.
    EXPECT_EQ(Build(10, 3), ReplyBytes(1, {11, 0, 0x86, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Build(20, 2), ReplyBytes(2, {20, 0, 0x81, 0x01, 21, 0, 0x81, 0x00}));
}

TEST_F(DataFrame, GoodBitFollowsQualityAndAddedState) {
    struct Case {
        WORD quality;
        bool added;
        std::uint8_t typeByte;
    };
    const Case cases[] = {
        {0xC0, true, 0x86},  {0xC3, true, 0x86},  // good, with limit bits
        {0x40, true, 0x06},  {0x00, true, 0x06},  // uncertain, bad
        {0xD8, true, 0x06},                       // local override
        {0xC0, false, 0x06},                      // not on its server
    };
    for (const Case& c : cases) {
        items.Add(1, VT_I4, I4(7), c.quality, c.added);
        EXPECT_EQ(Build(1, 1), ReplyBytes(1, {1, 0, c.typeByte, 7, 0, 0, 0})) << std::hex << c.quality;
        items.Clear();
    }
}

TEST_F(DataFrame, SkipsItemsWithoutANumericValue) {
    items.AddString(1, VT_BSTR, "text");
    items.Add(2, VT_I2, Empty());               // no value yet
    items.AddString(3, VT_I4, "not a number");  // a number by type, a string by value
    items.Add(4, VT_DATE, R8(1.0));
    items.Add(5, VT_UI1, MakeVariant(VT_UI1, [](VARIANT& v) { v.bVal = 200; }));

    testing::internal::CaptureStdout();
    const Bytes reply = Build(1, 5);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(reply, ReplyBytes(1, {5, 0, 0x83, 200}));
    EXPECT_NE(trace.find(":\"[size=-1]id=1\"\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(":\"[vt=empty]id=2\"\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(":\"[size=-1]id=4\"\r\n"), std::string::npos) << trace;
}

TEST_F(DataFrame, WireTypeComesFromTheDataTypeOnceAndStays) {
    CVItem& wide = items.Add(1, VT_UI8, MakeVariant(VT_UI8, [](VARIANT& v) { v.ullVal = 0x0102030405060708; }));
    EXPECT_EQ(Build(1, 1), ReplyBytes(1, {1, 0, 0x89, 8, 7, 6, 5, 4, 3, 2, 1}));

    // The value arrives as another type: its bytes go out under the item's code.
    CVItem& i2 = items.Add(2, VT_I2, I4(0x00012345));
    EXPECT_EQ(Build(2, 1), ReplyBytes(1, {2, 0, 0x84, 0x45, 0x23}));
    i2.SetDataType(VT_R8);
    EXPECT_EQ(Build(2, 1), ReplyBytes(1, {2, 0, 0x84, 0x45, 0x23}));
    EXPECT_EQ(wide.wireTypeCode, 9);
    EXPECT_EQ(wide.valueSize, 8);
}

TEST_F(DataFrame, AddressesPastTheTopOfTheRangeCarryTheirLow16Bits) {
    items.Add(65535, VT_UI1, MakeVariant(VT_UI1, [](VARIANT& v) { v.bVal = 1; }));
    items.Add(65537, VT_UI1, MakeVariant(VT_UI1, [](VARIANT& v) { v.bVal = 2; }));
    EXPECT_EQ(Build(65535, 3), ReplyBytes(2, {0xFF, 0xFF, 0x83, 1, 0x01, 0x00, 0x83, 2}));
}

TEST_F(DataFrame, ReplyStopsAtTheLargestFrame) {
    struct Case {
        VARTYPE type;
        std::size_t recordSize;
    };
    for (const Case& c : {Case{VT_UI1, 4}, Case{VT_R8, 11}}) {
        const std::size_t fitting = (kMaxReplySize - kReplyBaseSize) / c.recordSize;
        for (int address = 0; address < static_cast<int>(fitting) + 10; ++address)
            items.Add(address, c.type, c.type == VT_UI1 ? MakeVariant(VT_UI1, [](VARIANT& v) { v.bVal = 1; }) : R8(1));
        const Bytes reply = Build(0, 65535);
        ASSERT_EQ(reply.size(), kReplyBaseSize + fitting * c.recordSize);
        EXPECT_EQ(reply[2] | reply[3] << 8, static_cast<int>(reply.size()));
        EXPECT_EQ(reply[5] | reply[6] << 8, static_cast<int>(fitting));
        EXPECT_EQ(Bytes(reply.end() - 4, reply.end()), (Bytes{0x4E, 0x45, 0, 0}));
        items.Clear();
    }
}

TEST_F(DataFrame, AppendsAfterWhatIsQueued) {
    items.Add(3, VT_UI2, MakeVariant(VT_UI2, [](VARIANT& v) { v.uiVal = 0xABCD; }));
    Bytes out = {0xEE};
    EXPECT_EQ(BuildDataFrame(CItemAddressRegistry::Instance(), 3, 1, out), 16u);
    Bytes expected = {0xEE};
    for (std::uint8_t b : ReplyBytes(1, {3, 0, 0x85, 0xCD, 0xAB})) expected.push_back(b);
    EXPECT_EQ(out, expected);
}
