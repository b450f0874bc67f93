#include "rpc/wire_convert.h"

#include "platform/com/bstr.h"
#include "platform/com/safearray.h"

#include <capnp/message.h>
#include <capnp/serialize.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

// The value after a trip through the wire, and the HRESULT of reading it back.
HRESULT RoundTrip(const VARIANT& in, Variant* out) {
    capnp::MallocMessageBuilder message;
    auto wire = message.initRoot<rpcwire::Variant>();
    const HRESULT sent = rpc::ToWire(in, wire);
    if (FAILED(sent)) return sent;
    return rpc::FromWire(wire.asReader(), out->get());
}

// Element bytes of a plain array, or the texts of a BSTR array, as one comparable string.
std::string Describe(const VARIANT& v) {
    std::string text = std::to_string(v.vt) + ":";
    if (v.vt == VT_BSTR) return text + Utf8FromBstr(v.bstrVal);
    if (!(v.vt & VT_ARRAY)) {
        text.append(reinterpret_cast<const char*>(&v.llVal), PlainValueSize(v.vt));
        return text;
    }
    SAFEARRAY* a = v.parray;
    for (UINT d = 0; d < a->cDims; ++d)
        text += "[" + std::to_string(a->rgsabound[d].lLbound) + "," + std::to_string(a->rgsabound[d].cElements) + "]";
    const ULONG count = SafeArrayElementCount(a);
    const VARTYPE element = v.vt & VT_TYPEMASK;
    for (ULONG i = 0; i < count; ++i) {
        if (element == VT_BSTR)
            text += Utf8FromBstr(static_cast<BSTR*>(a->pvData)[i]) + "|";
        else if (element == VT_VARIANT)
            text += Describe(static_cast<VARIANT*>(a->pvData)[i]) + "|";
        else
            text.append(static_cast<const char*>(a->pvData) + i * a->cbElements, a->cbElements);
    }
    return text;
}

Variant ArrayOf(VARTYPE element, std::vector<SAFEARRAYBOUND> bounds, const std::function<void(SAFEARRAY*)>& fill) {
    VARIANT v;
    v.vt = VT_ARRAY | element;
    v.parray = SafeArrayCreate(element, static_cast<UINT>(bounds.size()), bounds.data());
    fill(v.parray);
    return Variant::Adopt(v);
}

TEST(WireVariant, EveryKindOfValueSurvivesTheTrip) {
    VARIANT cy;
    cy.vt = VT_CY;
    cy.cyVal.int64 = -123456789;
    VARIANT date;
    date.vt = VT_DATE;
    date.date = 45000.25;
    VARIANT error;
    error.vt = VT_ERROR;
    error.scode = static_cast<SCODE>(0x80004005);
    VARIANT null;
    null.vt = VT_NULL;
    VARIANT u8;
    u8.vt = VT_UI8;
    u8.ullVal = 0xFEDCBA9876543210ull;

    std::vector<Variant> values;
    values.push_back(Variant());
    values.push_back(Variant(null));
    values.push_back(Variant::I4(-42));
    values.push_back(Variant::R8(3.25));
    values.push_back(Variant::Bool(true));
    values.push_back(Variant::Str("Kessel 1 Temperatur \xC2\xB0"
                                  "C \xE6\xB8\xA9\xE5\xBA\xA6"));
    values.push_back(Variant(cy));
    values.push_back(Variant(date));
    values.push_back(Variant(error));
    values.push_back(Variant(u8));
    values.push_back(ArrayOf(VT_I2, {{3, 0}, {2, 1}}, [](SAFEARRAY* a) {
        for (int i = 0; i < 6; ++i) static_cast<SHORT*>(a->pvData)[i] = static_cast<SHORT>(i * 111 - 300);
    }));
    values.push_back(ArrayOf(VT_BSTR, {{2, -1}}, [](SAFEARRAY* a) {
        static_cast<BSTR*>(a->pvData)[0] = BstrFromUtf8("one");
        static_cast<BSTR*>(a->pvData)[1] = BstrFromUtf8("");
    }));
    values.push_back(ArrayOf(VT_VARIANT, {{2, 0}}, [](SAFEARRAY* a) {
        VARIANT* items = static_cast<VARIANT*>(a->pvData);
        items[0].vt = VT_R4;
        items[0].fltVal = 1.5f;
        items[1].vt = VT_BSTR;
        items[1].bstrVal = BstrFromUtf8("nested");
    }));
    values.push_back(ArrayOf(VT_R8, {{0, 0}}, [](SAFEARRAY*) {}));

    for (const Variant& value : values) {
        Variant back;
        ASSERT_EQ(RoundTrip(*value, &back), S_OK) << Describe(*value);
        EXPECT_EQ(Describe(*back), Describe(*value));
    }
}

// A connection reads with the default traversal limit, which counts every reading of a list:
// arrays of thousands of texts or values must be read in one pass.
TEST(WireVariant, LargeArraysOfTextsAndValuesComeThroughAReader) {
    constexpr ULONG kElements = 10000;
    for (VARTYPE element : {VT_BSTR, VT_VARIANT}) {
        const Variant value = ArrayOf(element, {{kElements, 0}}, [element](SAFEARRAY* a) {
            for (ULONG i = 0; i < kElements; ++i) {
                if (element == VT_BSTR) {
                    static_cast<BSTR*>(a->pvData)[i] = BstrFromUtf8("tag " + std::to_string(i));
                } else {
                    VARIANT& item = static_cast<VARIANT*>(a->pvData)[i];
                    item.vt = VT_I4;
                    item.lVal = static_cast<LONG>(i);
                }
            }
        });
        capnp::MallocMessageBuilder message;
        ASSERT_EQ(rpc::ToWire(*value, message.initRoot<rpcwire::Variant>()), S_OK);
        const kj::Array<capnp::word> words = capnp::messageToFlatArray(message);
        capnp::FlatArrayMessageReader reader(words);
        Variant back;
        ASSERT_EQ(rpc::FromWire(reader.getRoot<rpcwire::Variant>(), back.get()), S_OK) << element;
        EXPECT_EQ(Describe(*back), Describe(*value));
    }
}

TEST(WireVariant, ValuesThatCannotTravelAreRefusedOnTheWayOut) {
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_I4;
    LONG target = 5;
    byRef.byref = &target;
    VARIANT unknown;
    unknown.vt = VT_UNKNOWN;
    for (const VARIANT* v : {&byRef, &unknown}) {
        Variant back;
        EXPECT_EQ(RoundTrip(*v, &back), DISP_E_BADVARTYPE) << v->vt;
    }
}

TEST(WireVariant, MalformedValuesFromThePeerGiveAnErrorAndAnEmptyValue) {
    using Build = std::function<void(rpcwire::Variant::Builder)>;
    struct Case {
        const char* what;
        Build build;
    };
    const Case cases[] = {
        {"bits for a text type", [](auto w) { w.setVt(VT_BSTR), w.setBits(1); }},
        {"bits for an unknown type", [](auto w) { w.setVt(0x7F), w.setBits(1); }},
        {"bits for an interface", [](auto w) { w.setVt(VT_UNKNOWN), w.setBits(0x1234); }},
        {"text for a number", [](auto w) { w.setVt(VT_I4), w.setText("5"); }},
        {"empty for a number", [](auto w) { w.setVt(VT_I4), w.setEmpty(); }},
        {"array for a scalar type", [](auto w) { w.setVt(VT_I4), w.initArray().initBounds(1)[0].setCount(1); }},
        {"array without bounds",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_I4);
             w.initArray().setPlain(kj::ArrayPtr<const capnp::byte>());
         }},
        {"plain bytes shorter than the bounds",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_I4);
             auto a = w.initArray();
             a.initBounds(1)[0].setCount(1000000);
             const capnp::byte four[4] = {};
             a.setPlain(kj::arrayPtr(four, 4));
         }},
        {"bounds whose product overflows",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_UI1);
             auto bounds = w.initArray().initBounds(3);
             for (unsigned i = 0; i < 3; ++i) bounds[i].setCount(0x10000);
         }},
        {"more than 64 dimensions",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_UI1);
             auto bounds = w.initArray().initBounds(65);
             for (unsigned i = 0; i < 65; ++i) bounds[i].setCount(1);
         }},
        {"texts for a number array",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_I4);
             auto a = w.initArray();
             a.initBounds(1)[0].setCount(1);
             a.initTexts(1).set(0, "x");
         }},
        {"fewer texts than elements",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_BSTR);
             auto a = w.initArray();
             a.initBounds(1)[0].setCount(3);
             a.initTexts(1).set(0, "x");
         }},
        {"a malformed element inside a variant array",
         [](auto w) {
             w.setVt(VT_ARRAY | VT_VARIANT);
             auto a = w.initArray();
             a.initBounds(1)[0].setCount(1);
             auto element = a.initVariants(1)[0];
             element.setVt(VT_I4);
             element.setText("no");
         }},
        {"a reference type", [](auto w) { w.setVt(VT_BYREF | VT_I4), w.setBits(0x1000); }},
    };
    for (const Case& c : cases) {
        capnp::MallocMessageBuilder message;
        auto wire = message.initRoot<rpcwire::Variant>();
        c.build(wire);
        Variant back;
        EXPECT_TRUE(FAILED(rpc::FromWire(wire.asReader(), back.get()))) << c.what;
        EXPECT_EQ(back.vt(), VT_EMPTY) << c.what;
    }
}

// A callback's values travel inline as a type and bits: only empty and plain types may, and only
// the type's own bytes of the bits are taken.
TEST(WireVariant, InlineValuesFromThePeerAreCheckedAndTakeOnlyTheirOwnBytes) {
    for (const VARTYPE vt : {VARTYPE(VT_BSTR), VARTYPE(VT_UNKNOWN), VARTYPE(VT_ARRAY | VT_I4),
                             VARTYPE(VT_BYREF | VT_I4), VARTYPE(VT_VARIANT), VARTYPE(0x7F)}) {
        Variant back;
        EXPECT_EQ(rpc::InlineFromWire(vt, 0x1000, back.get()), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(back.vt(), VT_EMPTY) << vt;
    }
    Variant shortValue;
    ASSERT_EQ(rpc::InlineFromWire(VT_I2, 0xFFFFFFFF0000FFFEull, shortValue.get()), S_OK);
    EXPECT_EQ(shortValue.get()->vt, VT_I2);
    EXPECT_EQ(shortValue.get()->llVal, -2 & 0xFFFF) << "the bytes beyond the type stay zero";

    VARIANT number;
    number.vt = VT_R8;
    number.dblVal = -2.25;
    uint64_t bits = 0;
    ASSERT_TRUE(rpc::InlineBits(number, &bits));
    Variant back;
    ASSERT_EQ(rpc::InlineFromWire(number.vt, bits, back.get()), S_OK);
    EXPECT_EQ(back.get()->dblVal, -2.25);

    VARIANT flag;
    flag.vt = VT_BOOL;
    flag.llVal = -1;  // VARIANT_TRUE, with stale bytes beyond it
    ASSERT_TRUE(rpc::InlineBits(flag, &bits));
    EXPECT_EQ(bits, 0xFFFFu);
    VARIANT text;
    text.vt = VT_BSTR;
    EXPECT_FALSE(rpc::InlineBits(text, &bits));
}

TEST(WireItems, DefinitionsKeepTheirTextsBlobsAndCountsAndIidsMustBeWhole) {
    capnp::MallocMessageBuilder message;
    auto defs = message.initRoot<capnp::List<rpcwire::ItemDef>>(2);
    defs[0].setItemId("Channel_1.Device_1.Tag_1");
    defs[0].setActive(true);
    defs[0].setClientHandle(7);
    defs[0].setRequestedType(VT_R8);
    const capnp::byte blob[3] = {1, 2, 3};
    defs[1].setBlob(kj::arrayPtr(blob, 3));
    defs[1].setAccessPath("path");

    rpc::ItemDefs read(defs.asReader());
    ASSERT_EQ(read.Count(), 2u);
    EXPECT_EQ(Utf8FromWide(read.Data()[0].szItemID), "Channel_1.Device_1.Tag_1");
    EXPECT_EQ(read.Data()[0].bActive, TRUE);
    EXPECT_EQ(read.Data()[0].hClient, 7u);
    EXPECT_EQ(read.Data()[0].vtRequestedDataType, VT_R8);
    EXPECT_EQ(read.Data()[0].pBlob, nullptr);
    EXPECT_EQ(Utf8FromWide(read.Data()[1].szAccessPath), "path");
    ASSERT_EQ(read.Data()[1].dwBlobSize, 3u);
    EXPECT_EQ(std::memcmp(read.Data()[1].pBlob, blob, 3), 0);

    GUID guid{};
    const capnp::byte shortIid[15] = {};
    EXPECT_FALSE(rpc::FromWire(capnp::Data::Reader(shortIid, 15), &guid));
    const GUID iid{0x39C13A4D, 0x011E, 0x11D0, {0x96, 0x75, 0x00, 0x20, 0xAF, 0xD8, 0xAD, 0xB3}};
    ASSERT_TRUE(rpc::FromWire(rpc::WireBytes(iid), &guid));
    EXPECT_EQ(guid, iid);
}

}  // namespace
