// The 1.0 stream reader against streams built byte by byte: the layouts a correct server
// sends, and the ones a broken or hostile server might send. Every block is copied into a
// heap buffer of exactly its size, so a read past the end shows under AddressSanitizer.
#include "opc/client/stream10_parser.h"
#include "opc/client/value_text.h"
#include "opc/da/stream_layout.h"
#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "simserver/stream10.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using opc::stream::StreamWriter;
using Bytes = std::vector<std::uint8_t>;

// What the reader delivered for one item, in comparable form.
struct Seen {
    OPCHANDLE handle = 0;
    WORD quality = 0;
    ULONGLONG timestamp = 0;
    VARTYPE vt = VT_EMPTY;
    std::string text;  // as the item list shows it
    bool nullString = false;
    std::vector<std::pair<ULONG, LONG>> storedBounds;  // rgsabound order

    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    os << "{handle " << s.handle << ", quality " << s.quality << ", time " << s.timestamp << ", vt " << s.vt << ", \""
       << s.text << "\"" << (s.nullString ? " null" : "") << ", bounds";
    for (auto [count, lower] : s.storedBounds) os << " (" << count << "," << lower << ")";
    return os << "}";
}

class Recorder final : public opc::stream::DataItemVisitor, public opc::stream::WriteRecordVisitor {
public:
    void OnItem(const opc::stream::ItemUpdate& u) override {
        Seen s{u.clientItem, u.quality, FileTimeTicks(u.timestamp), u.value->vt, {}, false, {}};
        FormatVariant(*u.value, s.text);
        s.nullString = u.value->vt == VT_BSTR && u.value->bstrVal == nullptr;
        if ((u.value->vt & VT_ARRAY) && u.value->parray)
            for (USHORT d = 0; d < u.value->parray->cDims; ++d)
                s.storedBounds.emplace_back(u.value->parray->rgsabound[d].cElements,
                                            u.value->parray->rgsabound[d].lLbound);
        items.push_back(s);
    }
    void OnRecord(const opc::stream::WriteRecord& r) override { records.emplace_back(r.clientItem, r.error); }

    std::vector<Seen> items;
    std::vector<std::pair<OPCHANDLE, HRESULT>> records;
};

// Runs the reader over an exact-size heap copy of the bytes.
Recorder ReadData(const Bytes& bytes, bool withTime) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    Recorder r;
    opc::stream::ReadDataItems({exact.get(), bytes.size()}, withTime, r);
    return r;
}

Recorder ReadWrite(const Bytes& bytes) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    Recorder r;
    opc::stream::ReadWriteRecords({exact.get(), bytes.size()}, r);
    return r;
}

// A data stream under construction: the group header, then item headers, then values.
// Values are appended after all headers; an item's value offset is given explicitly.
struct StreamBuilder {
    explicit StreamBuilder(DWORD itemCount, bool withTime = false, DWORD transaction = 0) : withTime(withTime) {
        w.Append<std::uint32_t>(0);
        w.Append<std::uint32_t>(itemCount);
        w.Append<std::uint32_t>(0x77);
        w.Append<std::uint32_t>(transaction);
        w.Append<std::int32_t>(S_OK);
    }
    StreamBuilder& Header(OPCHANDLE handle, DWORD valueOffset, WORD quality = 0xC0, ULONGLONG time = 0) {
        w.Append<std::uint32_t>(handle);
        w.Append<std::uint32_t>(valueOffset);
        w.Append<std::uint16_t>(quality);
        w.Append<std::uint16_t>(0);
        if (withTime) w.Append<std::uint64_t>(time);
        return *this;
    }
    StreamBuilder& Variant(VARTYPE vt, std::uint64_t value = 0) {
        w.Append<std::uint16_t>(vt);
        w.AppendZeros(6);
        w.Append<std::uint64_t>(value);
        return *this;
    }
    StreamBuilder& Bstr(std::uint32_t count, std::u16string_view chars) {
        Variant(VT_BSTR);
        w.Append<std::uint32_t>(count);
        for (char16_t c : chars) w.Append<std::uint16_t>(c);
        if (!chars.empty()) w.Append<std::uint16_t>(0);
        return *this;
    }
    // Array descriptor with one or two bounds (the second only when dims != 1).
    StreamBuilder& Array(VARTYPE element, std::uint16_t dims, std::uint32_t elementSize,
                         std::pair<std::uint32_t, std::int32_t> first,
                         std::pair<std::uint32_t, std::int32_t> second = {0, 0}) {
        Variant(static_cast<VARTYPE>(VT_ARRAY | element));
        w.Append<std::uint16_t>(dims);
        w.Append<std::uint16_t>(0);
        w.Append<std::uint32_t>(elementSize);
        w.Append<std::uint32_t>(0);
        w.Append<std::uint32_t>(0);
        w.Append<std::uint32_t>(first.first);
        w.Append<std::int32_t>(first.second);
        if (dims != 1) {
            w.Append<std::uint32_t>(second.first);
            w.Append<std::int32_t>(second.second);
        }
        return *this;
    }
    template <class T>
    StreamBuilder& Elements(std::initializer_list<T> values) {
        for (T v : values) {
            if constexpr (std::is_same_v<T, float>)
                w.AppendFloat(v);
            else if constexpr (std::is_same_v<T, double>)
                w.AppendDouble(v);
            else
                w.Append<T>(v);
        }
        return *this;
    }
    StreamBuilder& Raw(std::initializer_list<std::uint8_t> bytes) {
        for (auto b : bytes) w.Append<std::uint8_t>(b);
        return *this;
    }
    Bytes bytes() { return w.bytes(); }
    // Offset of the first value after `items` item headers.
    static DWORD ValuesAt(DWORD items, bool withTime = false) {
        return static_cast<DWORD>(opc::stream::ItemHeaderOffset(items, withTime));
    }

    bool withTime;
    StreamWriter w;
};

std::uint64_t DoubleBits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

Seen Scalar(OPCHANDLE handle, VARTYPE vt, std::string text, WORD quality = 0xC0, ULONGLONG time = 0) {
    return Seen{handle, quality, time, vt, std::move(text), false, {}};
}

struct DataCase {
    const char* name;
    bool withTime;
    std::function<Bytes()> build;
    std::vector<Seen> expected;
};

const DataCase kGoodLayouts[] = {
    {"DATA: one I4",
     false,
     [] { return StreamBuilder(1).Header(5, StreamBuilder::ValuesAt(1), 0xC3).Variant(VT_I4, 42).bytes(); },
     {Scalar(5, VT_I4, "42", 0xC3)}},
    {"DATATIME: R8 with its timestamp",
     true,
     [] {
         return StreamBuilder(1, true)
             .Header(6, StreamBuilder::ValuesAt(1, true), 0x40, 0x01D9000012345678ULL)
             .Variant(VT_R8, DoubleBits(1.5))
             .bytes();
     },
     {Scalar(6, VT_R8, "1.5", 0x40, 0x01D9000012345678ULL)}},
    {"scalars of every width keep only their own bytes",
     false,
     [] {
         const DWORD at = StreamBuilder::ValuesAt(4);
         return StreamBuilder(4)
             .Header(1, at)
             .Header(2, at + 16)
             .Header(3, at + 32)
             .Header(4, at + 48)
             .Variant(VT_UI1, 0xFFFFFFFFFFFFFF07ULL)
             .Variant(VT_I2, 0xFFFFFFFFFFFFFFFEULL)
             .Variant(VT_BOOL, 0xFFFF)
             .Variant(VT_UI4, 0xAAAAAAAA00000009ULL)
             .bytes();
     },
     {Scalar(1, VT_UI1, "7"), Scalar(2, VT_I2, "-2"), Scalar(3, VT_BOOL, "1"), Scalar(4, VT_UI4, "9")}},
    {"BSTR count 0 is a null string",
     false,
     [] { return StreamBuilder(1).Header(7, StreamBuilder::ValuesAt(1)).Bstr(0, u"").bytes(); },
     {Seen{7, 0xC0, 0, VT_BSTR, "", true, {}}}},
    {"BSTR with characters",
     false,
     [] { return StreamBuilder(1).Header(8, StreamBuilder::ValuesAt(1)).Bstr(3, u"Aé€").bytes(); },
     {Scalar(8, VT_BSTR, "Aé€")}},
    {"1-D VT_R4 array of 3",
     false,
     [] {
         return StreamBuilder(1)
             .Header(9, StreamBuilder::ValuesAt(1))
             .Array(VT_R4, 1, 4, {3, 0})
             .Elements<float>({1.0f, 2.0f, -0.5f})
             .bytes();
     },
     {Seen{9, 0xC0, 0, VT_ARRAY | VT_R4, "[ 1, 2, -0.5 ]", false, {{3, 0}}}}},
    {"2-D VT_I2 array: stored bounds in stream order",
     false,
     [] {
         return StreamBuilder(1)
             .Header(10, StreamBuilder::ValuesAt(1))
             .Array(VT_I2, 2, 2, {2, 0}, {3, 1})
             .Elements<std::int16_t>({1, 2, 3, 4, 5, 6})
             .bytes();
     },
     {Seen{10, 0xC0, 0, VT_ARRAY | VT_I2, "[ 1, 2, 3 ] [ 4, 5, 6 ]", false, {{2, 0}, {3, 1}}}}},
    {"2-D VT_UI1 array of 3 rows of 2",
     false,
     [] {
         return StreamBuilder(1)
             .Header(11, StreamBuilder::ValuesAt(1))
             .Array(VT_UI1, 2, 1, {3, 0}, {2, 0})
             .Elements<std::uint8_t>({1, 2, 3, 4, 5, 255})
             .bytes();
     },
     {Seen{11, 0xC0, 0, VT_ARRAY | VT_UI1, "[ 1, 2 ] [ 3, 4 ] [ 5, 255 ]", false, {{3, 0}, {2, 0}}}}},
    {"empty array",
     false,
     [] {
         return StreamBuilder(1).Header(12, StreamBuilder::ValuesAt(1)).Array(VT_I4, 1, 4, {0, 0}).bytes();
     },
     {Seen{12, 0xC0, 0, VT_ARRAY | VT_I4, "[  ]", false, {{0, 0}}}}},
    {"values in any order, two headers sharing one value",
     false,
     [] {
         const DWORD at = StreamBuilder::ValuesAt(3);
         return StreamBuilder(3)
             .Header(1, at + 16)
             .Header(2, at)
             .Header(3, at + 16)
             .Variant(VT_I4, 100)
             .Variant(VT_I4, 200)
             .bytes();
     },
     {Scalar(1, VT_I4, "200"), Scalar(2, VT_I4, "100"), Scalar(3, VT_I4, "200")}},
};

TEST(Stream10Parser, DecodesEveryGoodLayout) {
    for (const auto& c : kGoodLayouts) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadData(c.build(), c.withTime).items, c.expected);
    }
}

// Whatever the server encodes, the client reads back the same value and array shape.
TEST(Stream10Parser, ReadsBackWhatTheServerEncodes) {
    auto vector = [](VARTYPE element, ULONG count) {
        VARIANT v;
        v.vt = static_cast<VARTYPE>(VT_ARRAY | element);
        v.parray = SafeArrayCreateVector(element, 0, count);
        auto* bytes = static_cast<std::uint8_t*>(v.parray->pvData);
        for (ULONG i = 0; i < count * v.parray->cbElements; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
        return Variant::Adopt(v);
    };
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 5}};
    VARIANT grid;
    grid.vt = VT_ARRAY | VT_R8;
    grid.parray = SafeArrayCreate(VT_R8, 2, bounds);
    std::vector<Variant> values;
    values.push_back(Variant::Adopt(grid));
    for (VARTYPE t : {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8}) values.push_back(vector(t, 4));
    values.push_back(Variant::Str("text"));
    values.push_back(Variant::Bool(true));
    values.push_back(Variant::R8(-2.25));

    std::vector<simserver::Stream10Item> items;
    for (std::size_t i = 0; i < values.size(); ++i)
        items.push_back({static_cast<DWORD>(i + 1), 0xC0, FileTimeFromTicks(1000 + i), values[i].get()});
    const Bytes bytes = simserver::EncodeDataStream(simserver::Stream10Format::DataTime, 1, 0, S_OK, items);
    const Recorder r = ReadData(bytes, true);

    ASSERT_EQ(r.items.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(i);
        std::string expected;
        FormatVariant(*values[i], expected);
        EXPECT_EQ(r.items[i].text, expected);
        EXPECT_EQ(r.items[i].vt, values[i].vt());
        EXPECT_EQ(r.items[i].timestamp, 1000 + i);
    }
    // The grid's stored bounds survive the trip in their stored order.
    const SAFEARRAY* sent = values[0]->parray;
    EXPECT_EQ(r.items[0].storedBounds,
              (std::vector<std::pair<ULONG, LONG>>{{sent->rgsabound[0].cElements, sent->rgsabound[0].lLbound},
                                                   {sent->rgsabound[1].cElements, sent->rgsabound[1].lLbound}}));
}

// Each hostile stream carries a good item (handle 99, I4 7) after the bad one: the bad item
// is skipped and the good one still arrives intact.
const Seen kGoodItem = Scalar(99, VT_I4, "7");

// Two items: the bad one (handle 1) whose value is built by `badValue`, then the good one.
Bytes BadThenGood(const std::function<void(StreamBuilder&)>& badValue, DWORD badOffset = 0) {
    const DWORD at = StreamBuilder::ValuesAt(2);
    StreamBuilder b(2);
    b.Header(1, badOffset ? badOffset : at + 16).Header(99, at).Variant(VT_I4, 7);
    badValue(b);
    return b.bytes();
}

const DataCase kHostileLayouts[] = {
    {"zero-size block", false, [] { return Bytes{}; }, {}},
    {"block shorter than the group header", false, [] { return Bytes(19, 0); }, {}},
    {"item count 1 but no item header", false, [] { return StreamBuilder(1).bytes(); }, {}},
    {"item count larger than the block",
     false,
     [] {
         // The value's reserved words, read as the next "item header", give an offset past the end.
         return StreamBuilder(0xFFFFFFFF)
             .Header(99, StreamBuilder::ValuesAt(1))
             .Raw({VT_I4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 0, 0, 0, 0})
             .bytes();
     },
     {kGoodItem}},
    {"value offset far past the end",
     false,
     [] { return BadThenGood([](StreamBuilder&) {}, 0xFFFFFFF0); },
     {kGoodItem}},
    {"VARIANT straddling the end",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Raw({VT_I4, 0, 0, 0, 0, 0, 0, 0, 1, 2});
          }); },
     {kGoodItem}},
    {"BSTR count missing",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Variant(VT_BSTR); }); },
     {kGoodItem}},
    {"BSTR count huge",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Bstr(0x7FFFFFFF, u"ab"); }); },
     {kGoodItem}},
    {"BSTR count whose byte length wraps 32 bits",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Bstr(0xFFFFFFFF, u"ab"); }); },
     {kGoodItem}},
    {"BSTR without its terminating zero",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Variant(VT_BSTR).Raw({2, 0, 0, 0, 'a', 0, 'b', 0});
          }); },
     {kGoodItem}},
    {"array descriptor cut short",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Variant(VT_ARRAY | VT_I4).Raw({1, 0, 0, 0, 4, 0});
          }); },
     {kGoodItem}},
    {"second bound missing",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) {
             b.Variant(VT_ARRAY | VT_I4)
                 .Raw({2, 0, 0, 0, 4, 0, 0, 0})
                 .Raw({0, 0, 0, 0, 0, 0, 0, 0})
                 .Raw({1, 0, 0, 0, 0, 0, 0, 0});
         });
     },
     {kGoodItem}},
    {"element count huge",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) { b.Array(VT_R8, 1, 8, {0xFFFFFFFF, 0}).Elements<double>({1.0}); });
     },
     {kGoodItem}},
    {"element counts whose product overflows 32 bits",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) {
             b.Array(VT_I4, 2, 4, {0x10000, 0}, {0x10000, 0}).Elements<std::int32_t>({1, 2});
         });
     },
     {kGoodItem}},
    {"element counts whose byte size overflows 64 bits",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) {
             b.Array(VT_R8, 2, 8, {0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}).Elements<double>({1.0});
         });
     },
     {kGoodItem}},
    {"elements one byte short",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) {
             b.Array(VT_I2, 1, 2, {3, 0}).Elements<std::int16_t>({1, 2}).Raw({3});
         });
     },
     {kGoodItem}},
    {"element size that does not match the type",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Array(VT_R8, 1, 1, {2, 0}).Raw({1, 2});
          }); },
     {kGoodItem}},
    {"three dimensions",
     false,
     [] {
         return BadThenGood([](StreamBuilder& b) {
             b.Array(VT_UI1, 3, 1, {1, 0}, {1, 0}).Raw({1, 0, 0, 0, 0, 0, 0, 0, 9});
         });
     },
     {kGoodItem}},
    {"zero dimensions",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Array(VT_UI1, 0, 1, {1, 0}, {1, 0}).Raw({9});
          }); },
     {kGoodItem}},
    {"upper bound beyond a LONG",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Array(VT_UI1, 1, 1, {2, 0x7FFFFFFF}).Raw({1, 2});
          }); },
     {kGoodItem}},
    {"array of strings (pointers the stream cannot carry)",
     false,
     [] { return BadThenGood([](StreamBuilder& b) {
              b.Array(VT_BSTR, 1, 8, {1, 0}).Raw({1, 2, 3, 4, 5, 6, 7, 8});
          }); },
     {kGoodItem}},
    {"interface pointer",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Variant(VT_UNKNOWN, 0xDEADBEEF); }); },
     {kGoodItem}},
    {"by-reference value",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Variant(VT_BYREF | VT_I4, 0xDEADBEEF); }); },
     {kGoodItem}},
    {"VARIANT in a VARIANT",
     false,
     [] { return BadThenGood([](StreamBuilder& b) { b.Variant(VT_VARIANT, 0xDEADBEEF); }); },
     {kGoodItem}},
    {"unknown type", false, [] { return BadThenGood([](StreamBuilder& b) { b.Variant(0x0FFF, 1); }); }, {kGoodItem}},
};

TEST(Stream10Parser, SkipsHostileItemsAndKeepsTheOthers) {
    for (const auto& c : kHostileLayouts) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadData(c.build(), c.withTime).items, c.expected);
    }
}

TEST(Stream10Parser, WriteCompleteRecords) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<std::pair<OPCHANDLE, HRESULT>> expected;
    };
    auto stream = [](DWORD count, std::initializer_list<std::pair<OPCHANDLE, HRESULT>> records) {
        StreamWriter w;
        w.Append<std::uint32_t>(count);
        w.Append<std::uint32_t>(0x77);
        w.Append<std::uint32_t>(0x1234);
        w.Append<std::int32_t>(S_OK);
        for (auto [h, e] : records) {
            w.Append<std::uint32_t>(h);
            w.Append<std::int32_t>(e);
        }
        return w.bytes();
    };
    Bytes cut = stream(2, {{1, S_OK}, {2, E_FAIL}});
    cut.pop_back();
    const Case cases[] = {
        {"two records, the second failed", stream(2, {{1, S_OK}, {2, E_FAIL}}), {{1, S_OK}, {2, E_FAIL}}},
        {"count larger than the block", stream(0xFFFFFFFF, {{3, S_OK}}), {{3, S_OK}}},
        {"last record cut short", cut, {{1, S_OK}}},
        {"header only", stream(0, {}), {}},
        {"header cut short", Bytes(15, 0), {}},
        {"empty block", Bytes{}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadWrite(c.bytes).records, c.expected);
    }
}

TEST(Stream10Parser, HeadersReadFieldByField) {
    const Bytes data = StreamBuilder(3, false, 0xCAFEF00D).bytes();
    opc::stream::StreamHeader h;
    ASSERT_TRUE(opc::stream::ReadDataHeader(data, h));
    EXPECT_EQ(h.itemCount, 3u);
    EXPECT_EQ(h.clientGroup, 0x77u);
    EXPECT_EQ(h.transactionId, 0xCAFEF00Du);
    EXPECT_FALSE(opc::stream::ReadDataHeader(std::span(data).first(19), h));
    EXPECT_FALSE(opc::stream::ReadWriteHeader(std::span(data).first(15), h));
}

}  // namespace
