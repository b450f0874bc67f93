// The 1.0 stream encoder against byte layouts written out by hand.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "simserver/stream10.h"

namespace simserver {
namespace {

// "30 00 ?? ..." -> bytes; "??" matches any byte (the array features word, whose bits belong
// to the array implementation).
struct Expected {
    std::vector<int> bytes;  // -1 for "??"
};

Expected ParseHex(const std::string& text) {
    Expected e;
    for (std::size_t i = 0; i < text.size();) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        const std::string pair = text.substr(i, 2);
        e.bytes.push_back(pair == "??" ? -1 : std::stoi(pair, nullptr, 16));
        i += 2;
    }
    return e;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    return s;
}

Variant ArrayR4() {
    Variant v;
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R4, 0, 3);
    float* data = nullptr;
    SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
    data[0] = 1.0f;
    data[1] = 2.0f;
    data[2] = -0.5f;
    SafeArrayUnaccessData(sa);
    v.get()->vt = VT_ARRAY | VT_R4;
    v.get()->parray = sa;
    return v;
}

// Two dimensions: 2 rows (lower bound 0) of 3 columns (lower bound 1), values 1..6 in storage order.
Variant ArrayI2TwoByThree() {
    Variant v;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}};
    SAFEARRAY* sa = SafeArrayCreate(VT_I2, 2, bounds);
    SHORT* data = nullptr;
    SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
    for (SHORT i = 0; i < 6; ++i) data[i] = static_cast<SHORT>(i + 1);
    SafeArrayUnaccessData(sa);
    v.get()->vt = VT_ARRAY | VT_I2;
    v.get()->parray = sa;
    return v;
}

std::vector<std::uint8_t> OneItem(Stream10Format format, const Variant& value, WORD quality = 0xC0) {
    Stream10Item item{7, quality, FILETIME{}, value.get()};
    return EncodeDataStream(format, 0x11223344, 0, S_OK, {&item, 1});
}

struct StreamCase {
    const char* name;
    std::function<std::vector<std::uint8_t>()> encode;
    const char* expected;
};

const StreamCase kCases[] = {
    {"I4 without time", [] { return OneItem(Stream10Format::Data, Variant::I4(0x01020304)); },
     "30 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "  // group header
     "07 00 00 00  20 00 00 00  C0 00  00 00 "                           // item header
     "03 00 00 00 00 00 00 00  04 03 02 01 00 00 00 00"},                // VARIANT
    {"R8 with time, transaction and status",
     [] {
         Variant v = Variant::R8(1.5);
         Stream10Item item{0x0A0B0C0D, 0xD8, FILETIME{0x12345678, 0x01D90000}, v.get()};
         return EncodeDataStream(Stream10Format::DataTime, 1, 0xABCD, S_FALSE, {&item, 1});
     },
     "38 00 00 00  01 00 00 00  01 00 00 00  CD AB 00 00  01 00 00 00 "
     "0D 0C 0B 0A  28 00 00 00  D8 00  00 00  78 56 34 12 00 00 D9 01 "
     "05 00 00 00 00 00 00 00  00 00 00 00 00 00 F8 3F"},
    {"BSTR: count, characters, terminating zero", [] { return OneItem(Stream10Format::Data, Variant::Str("AB")); },
     "3A 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "
     "07 00 00 00  20 00 00 00  C0 00  00 00 "
     "08 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00 "
     "02 00 00 00  41 00 42 00 00 00"},
    {"empty BSTR: count 0 alone", [] { return OneItem(Stream10Format::Data, Variant::Str("")); },
     "34 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "
     "07 00 00 00  20 00 00 00  C0 00  00 00 "
     "08 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  00 00 00 00"},
    {"one-dimensional R4 array", [] { return OneItem(Stream10Format::Data, ArrayR4()); },
     "54 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "
     "07 00 00 00  20 00 00 00  C0 00  00 00 "
     "04 20 00 00 00 00 00 00  00 00 00 00 00 00 00 00 "
     "01 00 ?? ??  04 00 00 00  00 00 00 00  00 00 00 00  03 00 00 00 00 00 00 00 "  // descriptor
     "00 00 80 3F  00 00 00 40  00 00 00 BF"},
    {"two-dimensional I2 array: both bounds as stored, then the data",
     [] { return OneItem(Stream10Format::Data, ArrayI2TwoByThree()); },
     "5C 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "
     "07 00 00 00  20 00 00 00  C0 00  00 00 "
     "02 20 00 00 00 00 00 00  00 00 00 00 00 00 00 00 "
     "02 00 ?? ??  02 00 00 00  00 00 00 00  00 00 00 00  03 00 00 00 01 00 00 00 "
     "02 00 00 00 00 00 00 00 "
     "01 00 02 00 03 00 04 00 05 00 06 00"},
    {"BOOL true", [] { return OneItem(Stream10Format::Data, Variant::Bool(true), 0x1C); },
     "30 00 00 00  01 00 00 00  44 33 22 11  00 00 00 00  00 00 00 00 "
     "07 00 00 00  20 00 00 00  1C 00  00 00 "
     "0B 00 00 00 00 00 00 00  FF FF 00 00 00 00 00 00"},
    {"two items: values follow all headers, each at its own offset",
     [] {
         Variant a = Variant::Str("A");
         Variant b;
         b.get()->vt = VT_UI1;
         b.get()->bVal = 0x7F;
         Stream10Item items[] = {{1, 0xC0, {}, a.get()}, {2, 0x40, {}, b.get()}};
         return EncodeDataStream(Stream10Format::Data, 3, 0, S_OK, items);
     },
     "54 00 00 00  02 00 00 00  03 00 00 00  00 00 00 00  00 00 00 00 "
     "01 00 00 00  2C 00 00 00  C0 00  00 00 "
     "02 00 00 00  44 00 00 00  40 00  00 00 "
     "08 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  01 00 00 00  41 00 00 00 "
     "11 00 00 00 00 00 00 00  7F 00 00 00 00 00 00 00"},
    {"no value pointer is sent as VT_EMPTY",
     [] {
         Stream10Item item{9, 0x00, {}, nullptr};
         return EncodeDataStream(Stream10Format::Data, 0, 0, S_OK, {&item, 1});
     },
     "30 00 00 00  01 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00 "
     "09 00 00 00  20 00 00 00  00 00  00 00 "
     "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"},
    {"write complete: header and one record per item",
     [] {
         Stream10WriteResult results[] = {{1, S_OK}, {2, OPC_E_BADRIGHTS}};
         return EncodeWriteCompleteStream(5, 9, S_FALSE, results);
     },
     "02 00 00 00  05 00 00 00  09 00 00 00  01 00 00 00 "
     "01 00 00 00  00 00 00 00 "
     "02 00 00 00  06 00 04 C0"},
};

TEST(GroupStream10, EncodesEveryLayoutByteForByte) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> actual = c.encode();
        const Expected expected = ParseHex(c.expected);
        ASSERT_EQ(actual.size(), expected.bytes.size()) << Hex(actual);
        for (std::size_t i = 0; i < actual.size(); ++i) {
            if (expected.bytes[i] < 0) continue;
            EXPECT_EQ(actual[i], expected.bytes[i]) << "byte " << i << " of " << Hex(actual);
        }
    }
}

}  // namespace
}  // namespace simserver
