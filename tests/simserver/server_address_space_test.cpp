// The simulation server's address space and tags: ItemID resolution, canonical types,
// simulated values as functions of time, writes and bit items.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "simserver/address_space.h"
#include "simserver/server_browse.h"

namespace simserver {
namespace {

constexpr ULONGLONG kMs = 10000;  // FILETIME ticks per millisecond
// An arbitrary instant, a whole number of seconds after 1601.
constexpr ULONGLONG kBase = 13'300'000'000ULL * 1000 * kMs;

SimConfig SmallConfig() {
    SimConfig config;
    config.loadTagCount = 20;
    return config;
}

struct Reading {
    Variant value;
    WORD quality = 0;
    FILETIME stamp;
};

Reading ReadAt(const Tag& tag, ULONGLONG ticks) {
    Reading r;
    tag.Read(FileTimeFromTicks(ticks), r.value.get(), &r.quality, &r.stamp);
    return r;
}

Reading ReadNow(const Tag& tag) { return ReadAt(tag, FileTimeTicks(FileTimeNow())); }

struct ResolveCase {
    const char16_t* itemId;
    const char16_t* accessPath;
    HRESULT expected;
};

TEST(AddressSpaceResolve, JudgesItemIdsAndAccessPathsAsAddItemsDoes) {
    SimConfig config = SmallConfig();
    config.addErrors["Ramp.I2"] = OPC_E_UNKNOWNITEMID;
    config.addErrors["Not Valid"] = OPC_E_INVALIDITEMID;
    const AddressSpace space(config);
    const ResolveCase cases[] = {
        {u"Ramp.I4", nullptr, S_OK},
        {u"Ramp.I4", u"", S_OK},
        {u"Device1.D100", u"Primary", S_OK},
        {u"Device1.D100.15", u"Backup", S_OK},
        {u"Ramp.I4", u"Primary", OPC_E_UNKNOWNPATH},
        {u"Device1.D100", u"Elsewhere", OPC_E_UNKNOWNPATH},
        {nullptr, nullptr, OPC_E_INVALIDITEMID},
        {u"", nullptr, OPC_E_INVALIDITEMID},
        {u"Ramp..I4", nullptr, OPC_E_INVALIDITEMID},
        {u".Ramp.I4", nullptr, OPC_E_INVALIDITEMID},
        {u"Ramp.I4.", nullptr, OPC_E_INVALIDITEMID},
        {u"Ramp.\tI4", nullptr, OPC_E_INVALIDITEMID},
        {u"Ramp", nullptr, OPC_E_UNKNOWNITEMID},  // a branch, not an item
        {u"ramp.i4", nullptr, OPC_E_UNKNOWNITEMID},
        {u"Device1.D100.16", nullptr, OPC_E_UNKNOWNITEMID},
        {u"Ramp.I2", nullptr, OPC_E_UNKNOWNITEMID},  // configured to fail
        {u"Not Valid", nullptr, OPC_E_INVALIDITEMID},
    };
    for (const auto& c : cases) {
        Tag* tag = reinterpret_cast<Tag*>(1);
        EXPECT_EQ(space.Resolve(c.itemId, c.accessPath, &tag), c.expected)
            << Utf8FromWide(c.itemId) << " / " << Utf8FromWide(c.accessPath);
        EXPECT_EQ(tag != nullptr, c.expected == S_OK);
    }
}

TEST(AddressSpaceTags, EveryTagReadsAValueOfItsCanonicalType) {
    const AddressSpace space(SmallConfig());
    ASSERT_GT(space.Tags().size(), 300u);
    for (const Tag* tag : space.Tags()) {
        const Reading r = ReadNow(*tag);
        EXPECT_EQ(r.value.vt(), tag->CanonicalType()) << Utf8FromWide(tag->ItemId());
        if (tag->CanonicalType() & VT_ARRAY) {
            ASSERT_NE(r.value->parray, nullptr) << Utf8FromWide(tag->ItemId());
            VARTYPE element = VT_EMPTY;
            SafeArrayGetVartype(r.value->parray, &element);
            EXPECT_EQ(element, tag->CanonicalType() & VT_TYPEMASK) << Utf8FromWide(tag->ItemId());
        }
        EXPECT_NE(tag->AccessRights() & (OPC_READABLE | OPC_WRITEABLE), 0u);
    }
}

struct CatalogueCase {
    const char16_t* itemId;
    VARTYPE type;
    DWORD rights;
};

TEST(AddressSpaceTags, CatalogueHoldsEveryTypeTheClientShows) {
    const AddressSpace space(SmallConfig());
    constexpr DWORD RW = OPC_READABLE | OPC_WRITEABLE;
    const CatalogueCase cases[] = {
        {u"Ramp.I1", VT_I1, OPC_READABLE},
        {u"Ramp.UI1", VT_UI1, OPC_READABLE},
        {u"Ramp.I2", VT_I2, OPC_READABLE},
        {u"Ramp.UI2", VT_UI2, OPC_READABLE},
        {u"Ramp.I4", VT_I4, OPC_READABLE},
        {u"Ramp.UI4", VT_UI4, OPC_READABLE},
        {u"Ramp.I8", VT_I8, OPC_READABLE},
        {u"Ramp.UI8", VT_UI8, OPC_READABLE},
        {u"Ramp.R4", VT_R4, OPC_READABLE},
        {u"Ramp.R8", VT_R8, OPC_READABLE},
        {u"Random.BOOL", VT_BOOL, OPC_READABLE},
        {u"Random.BSTR", VT_BSTR, OPC_READABLE},
        {u"Sine.R8", VT_R8, OPC_READABLE},
        {u"Square.BOOL", VT_BOOL, OPC_READABLE},
        {u"Text.Cycle", VT_BSTR, OPC_READABLE},
        {u"Array.R4", VT_ARRAY | VT_R4, OPC_READABLE},
        {u"Array2D.I2", VT_ARRAY | VT_I2, OPC_READABLE},
        {u"Writable.UI8", VT_UI8, RW},
        {u"Writable.BSTR", VT_BSTR, RW},
        {u"Writable.DATE", VT_DATE, RW},
        {u"Writable.CY", VT_CY, RW},
        {u"Writable.Array.UI2", VT_ARRAY | VT_UI2, RW},
        {u"Writable.Array2D.R8", VT_ARRAY | VT_R8, RW},
        {u"Writable.WriteOnly", VT_I4, OPC_WRITEABLE},
        {u"Device1.D100", VT_UI2, RW},
        {u"Device1.D115.15", VT_BOOL, RW},
        {u"Plant.PUMP1", VT_R8, OPC_READABLE},
        {u"Plant.PUMP1_UNIT", VT_BSTR, RW},
        {u"Plant.PUMP1.UNIT", VT_BSTR, OPC_READABLE},
        {u"Load.T0019", VT_I4, OPC_READABLE},
    };
    for (const auto& c : cases) {
        const Tag* tag = space.Find(c.itemId);
        ASSERT_NE(tag, nullptr) << Utf8FromWide(c.itemId);
        EXPECT_EQ(tag->CanonicalType(), c.type) << Utf8FromWide(c.itemId);
        EXPECT_EQ(tag->AccessRights(), c.rights) << Utf8FromWide(c.itemId);
    }
    EXPECT_EQ(space.Find(u"Load.T0020"), nullptr);
}

TEST(AddressSpaceTags, TwoDimensionalArraysHaveBothBounds) {
    const AddressSpace space(SmallConfig());
    const Reading r = ReadNow(*space.Find(u"Array2D.R8"));
    ASSERT_EQ(SafeArrayGetDim(r.value->parray), 2u);
    // Stored as 3 rows of 4: the first dimension, which runs through the storage, is the row.
    EXPECT_EQ(r.value->parray->rgsabound[0].cElements, 3u);
    EXPECT_EQ(r.value->parray->rgsabound[1].cElements, 4u);
}

struct RampCase {
    const char16_t* itemId;
    ULONGLONG step;  // 100 ms steps after kBase
    LONGLONG expected;
};

TEST(AddressSpaceSignals, IntegerRampsCountPerStepAndWrapInTheirWidth) {
    const AddressSpace space(SmallConfig());
    const ULONGLONG baseStep = kBase / (100 * kMs);
    for (const auto& c : std::initializer_list<RampCase>{
             {u"Ramp.UI1", 0, static_cast<BYTE>(baseStep)},
             {u"Ramp.UI1", 1, static_cast<BYTE>(baseStep + 1)},
             {u"Ramp.I1", 0, static_cast<CHAR>(baseStep)},
             {u"Ramp.I2", 7, static_cast<SHORT>(baseStep + 7)},
             {u"Ramp.UI4", 3, static_cast<LONGLONG>(static_cast<ULONG>(baseStep + 3))},
             {u"Ramp.I8", 5, static_cast<LONGLONG>(baseStep + 5)},
         }) {
        const Tag& tag = *space.Find(c.itemId);
        // Anywhere inside the step gives the same value.
        for (ULONGLONG within : {ULONGLONG{0}, 50 * kMs, 100 * kMs - 1}) {
            Reading r = ReadAt(tag, kBase + c.step * 100 * kMs + within);
            Variant as64;
            ASSERT_EQ(VariantChangeType(as64.get(), r.value.get(), 0, VT_I8), S_OK);
            EXPECT_EQ(as64->llVal, c.expected) << Utf8FromWide(c.itemId) << " step " << c.step;
            EXPECT_EQ(FileTimeTicks(r.stamp), kBase + c.step * 100 * kMs);
            EXPECT_EQ(r.quality, OPC_QUALITY_GOOD);
        }
    }
}

TEST(AddressSpaceSignals, AnalogSignalsStayInsideTheirEuRange) {
    const AddressSpace space(SmallConfig());
    for (const Tag* tag : space.Tags()) {
        if (tag->EuType() != OPC_ANALOG) continue;
        for (ULONGLONG t = 0; t < 100; ++t) {
            Reading r = ReadAt(*tag, kBase + t * 977 * kMs);
            ASSERT_EQ(r.value.ChangeType(VT_R8), S_OK);
            EXPECT_GE(r.value->dblVal, tag->EuLow() - 1e-3) << Utf8FromWide(tag->ItemId());
            EXPECT_LE(r.value->dblVal, tag->EuHigh() + 1e-3) << Utf8FromWide(tag->ItemId());
        }
    }
}

TEST(AddressSpaceSignals, SquareBooleanTogglesEverySecond) {
    const AddressSpace space(SmallConfig());
    const Tag& square = *space.Find(u"Square.BOOL");
    const VARIANT_BOOL first = ReadAt(square, kBase).value->boolVal;
    EXPECT_EQ(ReadAt(square, kBase + 999 * kMs).value->boolVal, first);
    EXPECT_NE(ReadAt(square, kBase + 1000 * kMs).value->boolVal, first);
    EXPECT_EQ(ReadAt(square, kBase + 2000 * kMs).value->boolVal, first);
}

TEST(AddressSpaceSignals, EqualVersionsMeanEqualValuesAndEveryStepGivesANewVersion) {
    const AddressSpace space(SmallConfig());
    for (const char16_t* id : {u"Random.R8", u"Ramp.I4", u"Text.Cycle", u"Array.UI2", u"Load.T0003"}) {
        const Tag& tag = *space.Find(id);
        const DWORD step = tag.StepMs();
        const FILETIME t1 = FileTimeFromTicks(kBase + 1 * kMs / 2);
        const FILETIME t2 = FileTimeFromTicks(kBase + step * kMs - 1);
        const FILETIME t3 = FileTimeFromTicks(kBase + step * kMs);
        EXPECT_EQ(tag.Version(t1), tag.Version(t2)) << Utf8FromWide(id);
        EXPECT_NE(tag.Version(t2), tag.Version(t3)) << Utf8FromWide(id);
        Reading a = ReadAt(tag, FileTimeTicks(t1)), b = ReadAt(tag, FileTimeTicks(t2));
        Variant ta(*a.value), tb(*b.value);
        if (ta.vt() & VT_ARRAY) continue;  // arrays compared by version only
        ASSERT_EQ(ta.ChangeType(VT_BSTR), S_OK);
        ASSERT_EQ(tb.ChangeType(VT_BSTR), S_OK);
        EXPECT_EQ(Utf8FromBstr(ta->bstrVal), Utf8FromBstr(tb->bstrVal)) << Utf8FromWide(id);
    }
}

TEST(AddressSpaceSignals, QualityTagsReportTheirQuality) {
    const AddressSpace space(SmallConfig());
    EXPECT_EQ(ReadNow(*space.Find(u"Quality.Bad")).quality, OPC_QUALITY_BAD);
    EXPECT_EQ(ReadNow(*space.Find(u"Quality.Uncertain")).quality, OPC_QUALITY_UNCERTAIN);
    EXPECT_EQ(ReadNow(*space.Find(u"Quality.LocalOverride")).quality, OPC_QUALITY_LOCAL_OVERRIDE);
    const Tag& cycling = *space.Find(u"Quality.Cycling");
    std::set<WORD> seen;
    for (int s = 0; s < 8; ++s) seen.insert(ReadAt(cycling, kBase + s * 1000 * kMs).quality);
    EXPECT_EQ(seen.size(), 8u);
}

struct WriteCase {
    const char16_t* itemId;
    Variant value;
    HRESULT expected;
    const char* readBack;  // the value read afterwards as text; null: unchanged
};

Variant ArrayOf(VARTYPE vt, std::initializer_list<double> values) {
    SAFEARRAY* psa = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size()));
    LONG i = 0;
    for (double d : values) {
        Variant element = Variant::R8(d);
        element.ChangeType(vt);
        SafeArrayPutElement(psa, &i, &element.get()->llVal);
        ++i;
    }
    VARIANT v;
    v.vt = VT_ARRAY | vt;
    v.parray = psa;
    return Variant::Adopt(v);
}

std::string AsText(const Tag& tag) {
    Reading r = ReadNow(tag);
    if (r.value.vt() & VT_ARRAY) {
        // Every element in storage order, whatever the dimensions.
        std::string text;
        SAFEARRAY* psa = r.value->parray;
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(psa, &data))) return "<locked>";
        const ULONG n = SafeArrayElementCount(psa);
        for (ULONG i = 0; i < n; ++i) {
            Variant e;
            e.get()->vt = r.value.vt() & VT_TYPEMASK;
            std::memcpy(&e.get()->llVal, static_cast<BYTE*>(data) + i * SafeArrayGetElemsize(psa),
                        SafeArrayGetElemsize(psa));
            e.ChangeType(VT_R8);
            text += (i ? "," : "") + std::to_string(static_cast<long long>(e->dblVal));
        }
        SafeArrayUnaccessData(psa);
        return text;
    }
    r.value.ChangeType(VT_BSTR);
    return Utf8FromBstr(r.value->bstrVal);
}

TEST(AddressSpaceWrites, ConvertToTheCanonicalTypeOrRefuse) {
    const AddressSpace space(SmallConfig());
    VARIANT empty;
    std::vector<WriteCase> cases;
    cases.push_back({u"Writable.I1", Variant::I4(127), S_OK, "127"});
    cases.push_back({u"Writable.I1", Variant::I4(128), OPC_E_RANGE, nullptr});
    cases.push_back({u"Writable.UI1", Variant::I4(-1), OPC_E_RANGE, nullptr});
    cases.push_back({u"Writable.I4", Variant::Str("123"), S_OK, "123"});
    cases.push_back({u"Writable.I4", Variant::Str("abc"), OPC_E_BADTYPE, nullptr});
    cases.push_back({u"Writable.I4", Variant(empty), OPC_E_BADTYPE, nullptr});
    cases.push_back({u"Writable.BSTR", Variant::I4(42), S_OK, "42"});
    cases.push_back({u"Writable.R8", Variant::Str("2.5"), S_OK, "2.5"});
    cases.push_back({u"Writable.UI8", Variant::Str("18446744073709551615"), S_OK, "18446744073709551615"});
    cases.push_back({u"Writable.WriteOnly", Variant::I4(9), S_OK, "9"});
    cases.push_back({u"Ramp.I4", Variant::I4(1), OPC_E_BADRIGHTS, nullptr});
    cases.push_back({u"Quality.Good", Variant::I4(1), OPC_E_BADRIGHTS, nullptr});
    cases.push_back({u"Writable.Array.I4", ArrayOf(VT_R8, {1, 2, 3, 4, 5}), S_OK, "1,2,3,4,5"});
    cases.push_back({u"Writable.Array.I4", Variant::I4(1), OPC_E_BADTYPE, nullptr});
    cases.push_back({u"Writable.Array.UI1", ArrayOf(VT_I4, {1, 300}), OPC_E_RANGE, nullptr});
    cases.push_back({u"Writable.Array2D.I2", ArrayOf(VT_I2, {1, 2}), OPC_E_BADTYPE, nullptr});
    for (auto& c : cases) {
        Tag& tag = *space.Find(c.itemId);
        const std::string before = AsText(tag);
        const auto versionBefore = tag.Version(FileTimeNow());
        EXPECT_EQ(tag.Write(*c.value), c.expected) << Utf8FromWide(c.itemId);
        EXPECT_EQ(AsText(tag), c.readBack ? std::string(c.readBack) : before) << Utf8FromWide(c.itemId);
        EXPECT_EQ(tag.Version(FileTimeNow()) != versionBefore, c.expected == S_OK) << Utf8FromWide(c.itemId);
    }
}

TEST(AddressSpaceWrites, ConfiguredWriteErrorsFailAndKeepTheValue) {
    SimConfig config = SmallConfig();
    config.writeErrors["Writable.I4"] = E_FAIL;
    config.writeErrors["Device1.D101.02"] = OPC_E_RANGE;
    const AddressSpace space(config);
    EXPECT_EQ(space.Find(u"Writable.I4")->Write(*Variant::I4(5)), E_FAIL);
    EXPECT_EQ(AsText(*space.Find(u"Writable.I4")), "0");
    EXPECT_EQ(space.Find(u"Device1.D101.02")->Write(*Variant::Bool(true)), OPC_E_RANGE);
    EXPECT_EQ(space.Find(u"Writable.I2")->Write(*Variant::I4(5)), S_OK);
}

struct BitCase {
    unsigned word;  // D<word>
    USHORT before;
    int bit;
    bool set;
    USHORT after;
};

TEST(AddressSpaceBits, BitItemsReadAndWriteTheirWord) {
    const AddressSpace space(SmallConfig());
    const BitCase cases[] = {
        {100, 0x0000, 0, true, 0x0001},  {100, 0x0001, 0, false, 0x0000}, {101, 0x00FF, 15, true, 0x80FF},
        {102, 0xFFFF, 7, false, 0xFF7F}, {103, 0x8000, 15, true, 0x8000}, {104, 0x1234, 2, true, 0x1234},
    };
    for (const auto& c : cases) {
        const std::u16string word = u"Device1.D" + WideFromUtf8(std::to_string(c.word));
        char suffix[4];
        std::snprintf(suffix, sizeof suffix, "%02d", c.bit);
        const std::u16string bitId = word + u"." + WideFromUtf8(suffix);
        Tag& wordTag = *space.Find(word);
        Tag& bitTag = *space.Find(bitId);
        VARIANT value;
        value.vt = VT_UI2;
        value.uiVal = c.before;
        ASSERT_EQ(wordTag.Write(value), S_OK);
        EXPECT_EQ(ReadNow(bitTag).value->boolVal, ((c.before >> c.bit) & 1) ? VARIANT_TRUE : VARIANT_FALSE);
        const auto version = bitTag.Version(FileTimeNow());
        ASSERT_EQ(bitTag.Write(*Variant::Bool(c.set)), S_OK);
        EXPECT_EQ(ReadNow(wordTag).value->uiVal, c.after) << Utf8FromWide(bitId);
        EXPECT_NE(bitTag.Version(FileTimeNow()), version);
        EXPECT_EQ(wordTag.Version(FileTimeNow()), bitTag.Version(FileTimeNow()));
    }
}

TEST(AddressSpaceBits, ConcurrentWritesOfDifferentBitsAreNotLost) {
    const AddressSpace space(SmallConfig());
    VARIANT zero;
    zero.vt = VT_UI2;
    zero.uiVal = 0;
    ASSERT_EQ(space.Find(u"Device1.D110")->Write(zero), S_OK);
    std::vector<std::thread> threads;
    for (int bit = 0; bit < 16; ++bit) {
        threads.emplace_back([&space, bit] {
            char id[32];
            std::snprintf(id, sizeof id, "Device1.D110.%02d", bit);
            Tag& tag = *space.Find(WideFromUtf8(id));
            for (int i = 0; i < 200; ++i) {
                tag.Write(*Variant::Bool(i % 2 == 0));
                Reading r = ReadNow(tag);
            }
            tag.Write(*Variant::Bool(true));
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ReadNow(*space.Find(u"Device1.D110")).value->uiVal, 0xFFFF);
}

}  // namespace
}  // namespace simserver

namespace simserver {
namespace {

std::vector<std::u16string> BrowseBranches(const BrowseSession& session) {
    std::vector<std::u16string> names;
    session.Browse(OPC_BRANCH, u"", VT_EMPTY, 0, &names);
    return names;
}

// Server objects with the same load tags share them, and nothing else: what one writes stays
// its own, and each browses the shared branch as part of its own tree.
TEST(AddressSpaceSharing, LoadTagsAreSharedWhileWritableTagsAndTheTreeStayEachServersOwn) {
    const auto first = std::make_shared<const AddressSpace>(SmallConfig());
    const auto second = std::make_shared<const AddressSpace>(SmallConfig());
    ASSERT_NE(first->Find(u"Load.T0019"), nullptr);
    EXPECT_EQ(first->Find(u"Load.T0019"), second->Find(u"Load.T0019"));
    EXPECT_EQ(first->Find(u"Load.T0020"), nullptr);

    Tag* written = first->Find(u"Writable.I4");
    ASSERT_NE(written, nullptr);
    ASSERT_NE(written, second->Find(u"Writable.I4"));
    EXPECT_EQ(written->Write(*Variant::I4(1234)), S_OK);
    EXPECT_EQ(AsText(*written), "1234");
    EXPECT_EQ(AsText(*second->Find(u"Writable.I4")), "0");

    const std::vector<Tag*>& tags = first->Tags();
    EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end(), [](Tag* a, Tag* b) { return a->ItemId() < b->ItemId(); }));
    EXPECT_EQ(std::count_if(tags.begin(), tags.end(), [](Tag* t) { return t->ItemId().rfind(u"Load.", 0) == 0; }), 20);

    BrowseSession session(first);
    const std::vector<std::u16string> top = BrowseBranches(session);
    ASSERT_TRUE(std::is_sorted(top.begin(), top.end()));
    ASSERT_NE(std::find(top.begin(), top.end(), u"Load"), top.end());
    ASSERT_EQ(session.ChangePosition(OPC_BROWSE_DOWN, u"Load"), S_OK);
    std::vector<std::u16string> leaves;
    EXPECT_EQ(session.Browse(OPC_LEAF, u"", VT_EMPTY, 0, &leaves), S_OK);
    EXPECT_EQ(leaves.size(), 20U);
    ASSERT_EQ(session.ChangePosition(OPC_BROWSE_UP, u""), S_OK);
    EXPECT_EQ(BrowseBranches(session), top) << "up from the shared branch is this server's root";
    EXPECT_EQ(session.ChangePosition(OPC_BROWSE_UP, u""), E_FAIL);
}

}  // namespace
}  // namespace simserver
