// IOPCSyncIO of the simulation server's groups: device and cache reads, writes.
#include <functional>

#include "group_test_support.h"
#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/safearray.h"

namespace simserver::test {
namespace {

template <class F>
Variant Make(VARTYPE vt, F set) {
    Variant v;
    v.get()->vt = vt;
    set(*v.get());
    return v;
}

// A one-dimensional array of `vt` holding `values`, or a rows x columns one.
Variant Array(VARTYPE vt, std::vector<double> values, ULONG rows = 0) {
    Variant v;
    SAFEARRAY* sa = nullptr;
    if (rows == 0) {
        sa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    } else {
        SAFEARRAYBOUND bounds[2] = {{rows, 0}, {static_cast<ULONG>(values.size()) / rows, 0}};
        sa = SafeArrayCreate(VT_R8, 2, bounds);
    }
    double* data = nullptr;
    SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
    std::copy(values.begin(), values.end(), data);
    SafeArrayUnaccessData(sa);
    v.get()->vt = VT_ARRAY | VT_R8;
    v.get()->parray = sa;
    EXPECT_EQ(v.ChangeType(VT_ARRAY | vt), S_OK);
    return v;
}

struct WriteCase {
    const char16_t* itemId;
    Variant written;
    Variant expected;  // as read back, in the canonical type
};

std::vector<WriteCase> WriteCases() {
    std::vector<WriteCase> c;
    c.push_back({u"Writable.I1", Variant::I4(-5), Make(VT_I1, [](VARIANT& v) { v.cVal = -5; })});
    c.push_back({u"Writable.UI1", Variant::R8(200.4), Make(VT_UI1, [](VARIANT& v) { v.bVal = 200; })});
    c.push_back({u"Writable.I2", Variant::Str("-1234"), Make(VT_I2, [](VARIANT& v) { v.iVal = -1234; })});
    c.push_back({u"Writable.UI2", Variant::I4(65535), Make(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; })});
    c.push_back({u"Writable.I4", Variant::I4(123456), Variant::I4(123456)});
    c.push_back({u"Writable.UI4", Variant::R8(4e9), Make(VT_UI4, [](VARIANT& v) { v.ulVal = 4000000000u; })});
    c.push_back({u"Writable.I8", Variant::Str("-9000000000"), Make(VT_I8, [](VARIANT& v) { v.llVal = -9000000000; })});
    c.push_back({u"Writable.UI8", Variant::R8(1e15), Make(VT_UI8, [](VARIANT& v) { v.ullVal = 1000000000000000ull; })});
    c.push_back({u"Writable.R4", Variant::R8(1.5), Make(VT_R4, [](VARIANT& v) { v.fltVal = 1.5f; })});
    c.push_back({u"Writable.R8", Variant::Str("2.25"), Variant::R8(2.25)});
    c.push_back({u"Writable.BOOL", Variant::I4(1), Variant::Bool(true)});
    c.push_back({u"Writable.BSTR", Variant::I4(42), Variant::Str("42")});
    c.push_back({u"Writable.DATE", Variant::R8(45000.5), Make(VT_DATE, [](VARIANT& v) { v.date = 45000.5; })});
    c.push_back({u"Writable.CY", Variant::R8(12.34), Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 123400; })});
    c.push_back({u"Writable.Array.R8", Array(VT_I4, {1, 2, 3, 4, 5}), Array(VT_R8, {1, 2, 3, 4, 5})});
    c.push_back({u"Writable.Array2D.I2", Array(VT_R8, {1, 2, 3, 4, 5, 6}, 2), Array(VT_I2, {1, 2, 3, 4, 5, 6}, 2)});
    c.push_back({u"Device1.D100.00", Variant::Bool(true), Variant::Bool(true)});
    return c;
}

using GroupSyncIoTest = GroupTest;

TEST_F(GroupSyncIoTest, WritesOfEveryTypeReadBackFromTheDevice) {
    auto group = AddGroup<IOPCSyncIO>(u"io");
    std::vector<WriteCase> cases = WriteCases();
    std::vector<std::u16string> ids;
    for (const auto& c : cases) ids.emplace_back(c.itemId);
    std::vector<OPCHANDLE> handles = AddItems(group.get(), ids);
    std::vector<VARIANT> values;
    for (const auto& c : cases) values.push_back(*c.written.get());

    const FILETIME before = FileTimeNow();
    TaskArray<HRESULT> writeErrors;
    ASSERT_EQ(group->Write(static_cast<DWORD>(cases.size()), handles.data(), values.data(), writeErrors.put()), S_OK);
    const FILETIME after = FileTimeNow();

    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> readErrors;
    ASSERT_EQ(
        group->Read(OPC_DS_DEVICE, static_cast<DWORD>(cases.size()), handles.data(), states.put(), readErrors.put()),
        S_OK);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(Utf8FromWide(std::u16string_view(cases[i].itemId)));
        EXPECT_EQ(writeErrors[i], S_OK);
        EXPECT_EQ(readErrors[i], S_OK);
        EXPECT_EQ(states[i].hClient, 1000 + i);
        EXPECT_EQ(states[i].wQuality, OPC_QUALITY_GOOD);
        ExpectValue(states[i].vDataValue, *cases[i].expected.get());
        EXPECT_GE(FileTimeTicks(states[i].ftTimeStamp), FileTimeTicks(before));
        EXPECT_LE(FileTimeTicks(states[i].ftTimeStamp), FileTimeTicks(after));
        VariantClear(&states[i].vDataValue);
    }

    // The bit item writes its word.
    OPCHANDLE word = AddItems(group.get(), {u"Device1.D100"})[0];
    TaskArray<OPCITEMSTATE> wordState;
    TaskArray<HRESULT> wordError;
    ASSERT_EQ(group->Read(OPC_DS_DEVICE, 1, &word, wordState.put(), wordError.put()), S_OK);
    EXPECT_EQ(wordState[0].vDataValue.uiVal & 1u, 1u);
}

TEST_F(GroupSyncIoTest, EachItemOfAWriteSucceedsOrFailsOnItsOwn) {
    config->writeErrors["Writable.R4"] = E_ACCESSDENIED;
    MakeTable();
    auto group = AddGroup<IOPCSyncIO>(u"io");
    std::vector<OPCHANDLE> handles =
        AddItems(group.get(), {u"Ramp.I4", u"Writable.I4", u"Writable.I1", u"Writable.R4", u"Writable.UI1"});
    handles.push_back(0xBAD0BAD0);
    Variant values[] = {Variant::I4(1), Variant::Str("abc"), Variant::I4(1000),
                        Variant::R8(1), Variant::I4(7),      Variant::I4(1)};
    const HRESULT expected[] = {OPC_E_BADRIGHTS, OPC_E_BADTYPE, OPC_E_RANGE, E_ACCESSDENIED, S_OK, OPC_E_INVALIDHANDLE};
    std::vector<VARIANT> raw;
    for (auto& v : values) raw.push_back(*v.get());
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Write(6, handles.data(), raw.data(), errors.put()), S_FALSE);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(errors[i], expected[i]) << i;

    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> readErrors;
    ASSERT_EQ(group->Read(OPC_DS_DEVICE, 1, &handles[4], states.put(), readErrors.put()), S_OK);
    EXPECT_EQ(states[0].vDataValue.bVal, 7) << "the good item was written";
}

TEST_F(GroupSyncIoTest, CacheReadsFollowTheSubscriptionAndShowInactiveItemsOutOfService) {
    auto group = AddGroup<IOPCSyncIO>(u"cache");
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    std::vector<OPCHANDLE> handles = AddItems(group.get(), {u"Writable.I4", u"Quality.Uncertain"});
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));

    auto read = [&](OPCDATASOURCE source, OPCHANDLE handle, LONG* value, WORD* quality) {
        TaskArray<OPCITEMSTATE> states;
        TaskArray<HRESULT> errors;
        ASSERT_EQ(group->Read(source, 1, &handle, states.put(), errors.put()), S_OK);
        *value = states[0].vDataValue.lVal;
        *quality = states[0].wQuality;
        VariantClear(&states[0].vDataValue);
    };
    LONG value = -1;
    WORD quality = 0;
    read(OPC_DS_CACHE, handles[1], &value, &quality);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(quality, OPC_QUALITY_UNCERTAIN);

    // A write reaches the device at once and the cache with the next update.
    VARIANT v = *Variant::I4(31).get();
    TaskArray<HRESULT> writeErrors;
    ASSERT_EQ(group->Write(1, &handles[0], &v, writeErrors.put()), S_OK);
    read(OPC_DS_DEVICE, handles[0], &value, &quality);
    EXPECT_EQ(value, 31);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 2));
    read(OPC_DS_CACHE, handles[0], &value, &quality);
    EXPECT_EQ(value, 31);
    EXPECT_EQ(quality, OPC_QUALITY_GOOD);

    // Inactive item, then inactive group: out of service in the cache, the device still answers.
    TaskArray<HRESULT> activeErrors;
    ASSERT_EQ(group.As<IOPCItemMgt>()->SetActiveState(1, &handles[0], FALSE, activeErrors.put()), S_OK);
    read(OPC_DS_CACHE, handles[0], &value, &quality);
    EXPECT_EQ(quality, OPC_QUALITY_OUT_OF_SERVICE);
    read(OPC_DS_DEVICE, handles[0], &value, &quality);
    EXPECT_EQ(quality, OPC_QUALITY_GOOD);
    BOOL off = FALSE;
    DWORD revised;
    ASSERT_EQ(group.As<IOPCGroupStateMgt>()->SetState(nullptr, &revised, &off, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    read(OPC_DS_CACHE, handles[1], &value, &quality);
    EXPECT_EQ(quality, OPC_QUALITY_OUT_OF_SERVICE);
}

TEST_F(GroupSyncIoTest, ReadsGiveTheRequestedTypeOrAPerItemError) {
    auto group = AddGroup<IOPCSyncIO>(u"types");
    std::vector<OPCHANDLE> small = AddItems(group.get(), {u"Writable.I4"}, nullptr, VT_I1);
    std::vector<OPCHANDLE> handles = AddItems(group.get(), {u"Writable.I4", u"Writable.WriteOnly"}, nullptr, VT_R8);
    VARIANT big = *Variant::I4(1000).get();
    TaskArray<HRESULT> writeErrors;
    ASSERT_EQ(group->Write(1, &handles[0], &big, writeErrors.put()), S_OK);

    OPCHANDLE list[4] = {handles[0], small[0], handles[1], 0x7777};
    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Read(OPC_DS_DEVICE, 4, list, states.put(), errors.put()), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(states[0].vDataValue.vt, VT_R8);
    EXPECT_EQ(states[0].vDataValue.dblVal, 1000.0);
    // 1000 does not fit the requested VT_I1: a bad value, not a wrong one.
    EXPECT_EQ(errors[1], OPC_E_RANGE);
    EXPECT_EQ(states[1].vDataValue.vt, VT_EMPTY);
    EXPECT_EQ(states[1].wQuality & OPC_QUALITY_MASK, OPC_QUALITY_BAD);
    EXPECT_EQ(errors[2], OPC_E_BADRIGHTS);
    EXPECT_EQ(errors[3], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(states[3].vDataValue.vt, VT_EMPTY);
    for (int i = 0; i < 4; ++i) VariantClear(&states[i].vDataValue);
}

TEST_F(GroupSyncIoTest, ArgumentsAreCheckedBeforeAnythingHappens) {
    auto group = AddGroup<IOPCSyncIO>(u"args");
    OPCHANDLE handle = AddItems(group.get(), {u"Writable.I4"})[0];
    VARIANT value = *Variant::I4(5).get();
    OPCITEMSTATE* states = reinterpret_cast<OPCITEMSTATE*>(1);
    HRESULT* errors = nullptr;
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"source 0", [&] { return group->Read(static_cast<OPCDATASOURCE>(0), 1, &handle, &states, &errors); },
         E_INVALIDARG},
        {"source 3", [&] { return group->Read(static_cast<OPCDATASOURCE>(3), 1, &handle, &states, &errors); },
         E_INVALIDARG},
        {"read count 0", [&] { return group->Read(OPC_DS_CACHE, 0, &handle, &states, &errors); }, E_INVALIDARG},
        {"read no handles", [&] { return group->Read(OPC_DS_CACHE, 1, nullptr, &states, &errors); }, E_INVALIDARG},
        {"read no states", [&] { return group->Read(OPC_DS_CACHE, 1, &handle, nullptr, &errors); }, E_POINTER},
        {"read no errors", [&] { return group->Read(OPC_DS_CACHE, 1, &handle, &states, nullptr); }, E_POINTER},
        {"write count 0", [&] { return group->Write(0, &handle, &value, &errors); }, E_INVALIDARG},
        {"write no values", [&] { return group->Write(1, &handle, nullptr, &errors); }, E_INVALIDARG},
        {"write no errors", [&] { return group->Write(1, &handle, &value, nullptr); }, E_POINTER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_EQ(errors, nullptr) << c.name;
    }
    EXPECT_EQ(states, nullptr);
}

}  // namespace
}  // namespace simserver::test
