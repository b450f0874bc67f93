// Subscriptions: what the server's threads send through the 2.0 callback and the 1.0
// advices, and when.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>

#include "group_test_support.h"
#include "platform/com/filetime.h"

namespace simserver::test {
namespace {

class GroupSubscriptionTest : public GroupTest {
protected:
    // Device state of items, to compare what the subscription sent with.
    std::vector<OPCITEMSTATE> DeviceRead(IUnknown* group, std::vector<OPCHANDLE> handles) {
        TaskArray<OPCITEMSTATE> states;
        TaskArray<HRESULT> errors;
        EXPECT_EQ(ComPtr<IUnknown>(group).As<IOPCSyncIO>()->Read(OPC_DS_DEVICE, static_cast<DWORD>(handles.size()),
                                                                 handles.data(), states.put(), errors.put()),
                  S_OK);
        std::vector<OPCITEMSTATE> out(states.p, states.p + handles.size());
        return out;  // the caller clears the values
    }

    void Write(IUnknown* group, OPCHANDLE handle, const Variant& value) {
        VARIANT raw = *value.get();
        TaskArray<HRESULT> errors;
        ASSERT_EQ(ComPtr<IUnknown>(group).As<IOPCSyncIO>()->Write(1, &handle, &raw, errors.put()), S_OK);
    }

    void SetActive(IUnknown* group, bool active) {
        BOOL flag = active ? TRUE : FALSE;
        DWORD revised;
        ASSERT_EQ(ComPtr<IUnknown>(group).As<IOPCGroupStateMgt>()->SetState(nullptr, &revised, &flag, nullptr, nullptr,
                                                                            nullptr, nullptr),
                  S_OK);
    }
};

const ItemRecord* FindItem(const CallbackRecord& call, OPCHANDLE clientHandle) {
    for (const auto& item : call.items)
        if (item.clientHandle == clientHandle) return &item;
    return nullptr;
}

TEST_F(GroupSubscriptionTest, DataChangesCarryValuesQualitiesAndTimestampsFromAServerThread) {
    auto group = AddGroup<IUnknown>(u"values", false, 10, 77);
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    const auto handles = AddItems(group.get(), {u"Writable.I4", u"Quality.Uncertain", u"Quality.Bad", u"Text.Static"},
                                  nullptr, VT_EMPTY, true, 10);
    const FILETIME before = FileTimeNow();
    Write(group.get(), handles[0], Variant::I4(1234));
    std::vector<OPCITEMSTATE> device = DeviceRead(group.get(), handles);
    SetActive(group.get(), true);

    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    const CallbackRecord call = std::move(sink->Calls().front());
    EXPECT_NE(call.thread, std::this_thread::get_id());
    EXPECT_EQ(call.transactionId, 0u);
    EXPECT_EQ(call.group, 77u);
    EXPECT_EQ(call.masterQuality, S_FALSE) << "not every quality is good";
    EXPECT_EQ(call.masterError, S_OK);
    ASSERT_EQ(call.items.size(), 4u);
    const WORD qualities[] = {OPC_QUALITY_GOOD, OPC_QUALITY_UNCERTAIN, OPC_QUALITY_BAD, OPC_QUALITY_GOOD};
    const Variant values[] = {Variant::I4(1234), Variant::I4(42), Variant::I4(42), Variant::Str("Orvane OPC")};
    for (OPCHANDLE i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const ItemRecord* item = FindItem(call, 10 + i);
        ASSERT_NE(item, nullptr);
        ExpectValue(*item->value, *values[i].get());
        EXPECT_EQ(item->quality, qualities[i]);
        EXPECT_EQ(item->error, S_OK);
        EXPECT_EQ(FileTimeTicks(item->timestamp), FileTimeTicks(device[i].ftTimeStamp));
        VariantClear(&device[i].vDataValue);
    }
    EXPECT_GE(FileTimeTicks(FindItem(call, 10)->timestamp), FileTimeTicks(before)) << "the time of the write";
}

TEST_F(GroupSubscriptionTest, OnlyChangedItemsAreSent) {
    auto group = AddGroup<IUnknown>(u"changes");
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    const auto handles =
        AddItems(group.get(), {u"Writable.I4", u"Writable.R8", u"Text.Static"}, nullptr, VT_EMPTY, true, 1);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    const CallbackRecord first = std::move(sink->Calls()[0]);
    ASSERT_EQ(first.items.size(), 3u);

    // The same value written again is no change. R8 is written after it, so the update that
    // sends R8 has seen both writes: neither it nor any before it may carry I4.
    Write(group.get(), handles[0], FindItem(first, 1)->value);
    Write(group.get(), handles[1], Variant::R8(9.5));
    auto carriesR8 = [](const CallbackRecord& call) {
        const ItemRecord* item = FindItem(call, 2);
        return item && item->value->vt == VT_R8 && item->value->dblVal == 9.5;
    };
    ASSERT_TRUE(sink->WaitForCalls(
        [&](const std::vector<CallbackRecord>& calls) { return std::any_of(calls.begin(), calls.end(), carriesR8); }));
    const auto calls = sink->Calls();
    std::size_t seen = 1;
    for (; seen < calls.size(); ++seen) {
        EXPECT_EQ(FindItem(calls[seen], 1), nullptr) << "an unchanged value was sent again";
        EXPECT_EQ(FindItem(calls[seen], 3), nullptr) << "a constant was sent again";
        if (carriesR8(calls[seen])) break;
    }
    ++seen;

    Write(group.get(), handles[0], Variant::I4(6));
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, seen + 1));
    const CallbackRecord last = std::move(sink->Calls()[seen]);
    ASSERT_EQ(last.items.size(), 1u);
    EXPECT_EQ(last.items[0].clientHandle, 1u);
    EXPECT_EQ(last.items[0].value->lVal, 6);
}

TEST_F(GroupSubscriptionTest, InactiveItemsStayQuietAndActivationSendsCurrentValues) {
    auto group = AddGroup<IUnknown>(u"activity");
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    const OPCHANDLE active = AddItems(group.get(), {u"Writable.I4"}, nullptr, VT_EMPTY, true, 1)[0];
    OPCHANDLE idle = AddItems(group.get(), {u"Writable.R8"}, nullptr, VT_EMPTY, false, 2)[0];
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));

    Write(group.get(), idle, Variant::R8(3));
    Write(group.get(), active, Variant::I4(4));
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 2));
    for (const auto& call : sink->Calls()) EXPECT_EQ(FindItem(call, 2), nullptr) << "inactive item sent";

    // Made active, the item sends the value it was given while inactive.
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group.As<IOPCItemMgt>()->SetActiveState(1, &idle, TRUE, errors.put()), S_OK);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 3));
    auto call = std::move(sink->Calls()[2]);
    ASSERT_EQ(call.items.size(), 1u);
    EXPECT_EQ(call.items[0].value->dblVal, 3.0);

    // A group made active again sends every active item, changed or not.
    SetActive(group.get(), false);
    const std::size_t before = sink->Count(CallKind::DataChange);
    SetActive(group.get(), true);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, before + 1));
    call = std::move(sink->Calls()[before]);
    EXPECT_EQ(call.items.size(), 2u);
}

TEST_F(GroupSubscriptionTest, PercentDeadbandHoldsBackSmallChangesOfAnalogItemsOnly) {
    // Ramp.R8 is analog over 0..100 and steps by 1; Ramp.I4 is not analog and steps by 1.
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    FLOAT deadband = 2.5f;
    ComPtr<IUnknown> group;
    ASSERT_EQ(
        table->AddGroup(u"deadband", TRUE, 10, 1, nullptr, &deadband, 0, &handle, &revised, IID_IUnknown, group.put()),
        S_OK);
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    AddItems(group.get(), {u"Ramp.R8", u"Ramp.I4"}, nullptr, VT_R8, true, 1);

    auto history = [&](OPCHANDLE client) {
        std::vector<double> values;
        for (const auto& call : sink->Calls())
            if (const ItemRecord* item = FindItem(call, client)) values.push_back(item->value->dblVal);
        return values;
    };
    ASSERT_TRUE(sink->WaitForCalls([](const std::vector<CallbackRecord>& calls) {
        std::size_t n = 0;
        for (const auto& call : calls) n += FindItem(call, 1) != nullptr;
        return n >= 4;
    }));
    const auto analog = history(1);
    for (std::size_t i = 1; i < analog.size(); ++i)
        EXPECT_GT(std::fabs(analog[i] - analog[i - 1]), 2.5) << "change " << i << " is within the deadband";
    const auto plain = history(2);
    bool small = false;
    for (std::size_t i = 1; i < plain.size(); ++i) small = small || std::fabs(plain[i] - plain[i - 1]) <= 2.5;
    EXPECT_TRUE(small) << "a deadband held back an item that is not analog";
}

TEST_F(GroupSubscriptionTest, SetEnableStopsSubscriptionCallbacksButNotRefreshes) {
    auto group = AddGroup<IOPCAsyncIO2>(u"enable");
    BOOL enabled = FALSE;
    EXPECT_EQ(group->GetEnable(&enabled), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group->SetEnable(FALSE), CONNECT_E_NOCONNECTION);
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);
    const auto handles = AddItems(group.get(), {u"Writable.I4", u"Writable.R8"}, nullptr, VT_EMPTY, true, 1);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    ASSERT_EQ(group->GetEnable(&enabled), S_OK);
    EXPECT_EQ(enabled, TRUE);
    EXPECT_EQ(group->GetEnable(nullptr), E_POINTER);

    ASSERT_EQ(group->SetEnable(FALSE), S_OK);
    ASSERT_EQ(group->GetEnable(&enabled), S_OK);
    EXPECT_EQ(enabled, FALSE);
    DWORD cancel = 0;
    ASSERT_EQ(group->Refresh2(OPC_DS_DEVICE, 501, &cancel), S_OK);
    CallbackRecord refresh;
    ASSERT_TRUE(sink->WaitForTransaction(CallKind::DataChange, 501));
    ASSERT_TRUE(sink->Find(CallKind::DataChange, 501, &refresh));
    EXPECT_EQ(refresh.items.size(), 2u);

    // A change written while disabled reaches the cache, but no subscription callback. Cache
    // refreshes show when an update has taken it; by then a callback would have been made.
    Write(group.get(), handles[1], Variant::R8(7));
    for (DWORD tid = 600;; ++tid) {
        ASSERT_EQ(group->Refresh2(OPC_DS_CACHE, tid, &cancel), S_OK);
        ASSERT_TRUE(sink->WaitForTransaction(CallKind::DataChange, tid));
        ASSERT_TRUE(sink->Find(CallKind::DataChange, tid, &refresh));
        const ItemRecord* r8 = FindItem(refresh, 2);
        ASSERT_NE(r8, nullptr);
        if (r8->value->dblVal == 7.0) break;
    }
    for (const auto& call : sink->Calls()) {
        const ItemRecord* r8 = FindItem(call, 2);
        if (call.transactionId == 0 && r8) {
            EXPECT_NE(r8->value->dblVal, 7.0) << "a subscription callback while disabled";
        }
    }

    ASSERT_EQ(group->SetEnable(TRUE), S_OK);
    Write(group.get(), handles[0], Variant::I4(8));
    EXPECT_TRUE(sink->WaitForCalls([](const std::vector<CallbackRecord>& calls) {
        for (const auto& call : calls) {
            const ItemRecord* item = FindItem(call, 1);
            if (call.transactionId == 0 && item && item->value->lVal == 8) return true;
        }
        return false;
    })) << "subscription callbacks resume";
}

TEST_F(GroupSubscriptionTest, StreamsOf10AdvicesCarryTheSameDataInBothLayouts) {
    auto group = AddGroup<IDataObject>(u"streams", false, 10, 77);
    const auto handles = AddItems(group.get(), {u"Writable.I4", u"Text.Static", u"Array.R4", u"Array2D.I2"}, nullptr,
                                  VT_EMPTY, true, 20);
    Write(group.get(), handles[0], Variant::I4(77));
    std::vector<OPCITEMSTATE> device = DeviceRead(group.get(), {handles[0], handles[1]});

    auto plain = MakeComObject<AdviseSinkRecorder>();
    auto timed = MakeComObject<AdviseSinkRecorder>();
    FORMATETC format;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    DWORD plainConnection = 0, timedConnection = 0;
    format.cfFormat = Cf("OPCSTMFORMATDATA");
    ASSERT_EQ(group->DAdvise(&format, 0, plain.get(), &plainConnection), S_OK);
    format.cfFormat = Cf("OPCSTMFORMATDATATIME");
    ASSERT_EQ(group->DAdvise(&format, 0, timed.get(), &timedConnection), S_OK);
    EXPECT_NE(plainConnection, 0u);
    EXPECT_NE(plainConnection, timedConnection);
    SetActive(group.get(), true);

    ASSERT_TRUE(plain->WaitForStreams(1));
    ASSERT_TRUE(timed->WaitForStreams(1));
    for (bool withTime : {false, true}) {
        SCOPED_TRACE(withTime ? "with time" : "without time");
        const StreamRecord record = (withTime ? timed : plain)->Streams().front();
        EXPECT_EQ(record.format, Cf(withTime ? "OPCSTMFORMATDATATIME" : "OPCSTMFORMATDATA"));
        EXPECT_NE(record.thread, std::this_thread::get_id());
        const ParsedStream s = ParseDataStream(record.bytes, withTime);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.size, record.bytes.size());
        EXPECT_EQ(s.count, 4u);
        EXPECT_EQ(s.group, 77u);
        EXPECT_EQ(s.transactionId, 0u);
        EXPECT_EQ(s.status, S_OK);
        ASSERT_EQ(s.items.size(), 4u);
        for (const ParsedItem& item : s.items) {
            EXPECT_EQ(item.quality, OPC_QUALITY_GOOD);
            switch (item.clientHandle) {
            case 20:
                EXPECT_EQ(item.vt, VT_I4);
                EXPECT_EQ(item.bits, 77u);
                if (withTime) {
                    EXPECT_EQ(FileTimeTicks(item.timestamp), FileTimeTicks(device[0].ftTimeStamp));
                }
                break;
            case 21:
                EXPECT_EQ(item.vt, VT_BSTR);
                EXPECT_EQ(item.text, u"Orvane OPC");
                if (withTime) {
                    EXPECT_EQ(FileTimeTicks(item.timestamp), FileTimeTicks(device[1].ftTimeStamp));
                }
                break;
            case 22:
                EXPECT_EQ(item.vt, VT_ARRAY | VT_R4);
                EXPECT_EQ(item.arrayDims, 1);
                EXPECT_EQ(item.arrayData.size(), 8u * 4u);
                break;
            case 23:
                // Two rows of three: the bounds as stored, the row count first.
                EXPECT_EQ(item.vt, VT_ARRAY | VT_I2);
                ASSERT_EQ(item.bounds.size(), 2u);
                EXPECT_EQ(item.bounds[0].first, 2u);
                EXPECT_EQ(item.bounds[1].first, 3u);
                EXPECT_EQ(item.arrayData.size(), 6u * 2u);
                break;
            default: ADD_FAILURE() << "unknown client handle " << item.clientHandle;
            }
        }
    }
    for (auto& state : device) VariantClear(&state.vDataValue);
}

TEST_F(GroupSubscriptionTest, DAdviseAcceptsOnlyTheStreamFormatsOncePerFormat) {
    auto group = AddGroup<IDataObject>(u"advise");
    auto sink = MakeComObject<AdviseSinkRecorder>();
    auto good = [] {
        FORMATETC f;
        f.cfFormat = Cf("OPCSTMFORMATWRITECOMPLETE");
        f.dwAspect = DVASPECT_CONTENT;
        f.lindex = -1;
        f.tymed = TYMED_HGLOBAL;
        return f;
    };
    DWORD connection = 0;
    struct Case {
        const char* name;
        std::function<void(FORMATETC&)> spoil;
        HRESULT expected;
    };
    const Case cases[] = {
        {"other format", [](FORMATETC& f) { f.cfFormat = Cf("VCOpcClientItem"); }, DV_E_FORMATETC},
        {"format 0", [](FORMATETC& f) { f.cfFormat = 0; }, DV_E_FORMATETC},
        {"stream medium", [](FORMATETC& f) { f.tymed = TYMED_ISTREAM; }, DV_E_TYMED},
        {"icon aspect", [](FORMATETC& f) { f.dwAspect = DVASPECT_ICON; }, DV_E_DVASPECT},
        {"index 0", [](FORMATETC& f) { f.lindex = 0; }, MakeHResult(0x80040068)},
    };
    for (const auto& c : cases) {
        FORMATETC f = good();
        c.spoil(f);
        EXPECT_EQ(group->DAdvise(&f, 0, sink.get(), &connection), c.expected) << c.name;
        EXPECT_EQ(connection, 0u) << c.name;
    }
    FORMATETC f = good();
    EXPECT_EQ(group->DAdvise(nullptr, 0, sink.get(), &connection), E_INVALIDARG);
    EXPECT_EQ(group->DAdvise(&f, 0, nullptr, &connection), E_INVALIDARG);
    EXPECT_EQ(group->DAdvise(&f, 0, sink.get(), nullptr), E_POINTER);

    ASSERT_EQ(group->DAdvise(&f, 0, sink.get(), &connection), S_OK);
    DWORD second = 0;
    EXPECT_EQ(group->DAdvise(&f, 0, sink.get(), &second), CONNECT_E_ADVISELIMIT);

    ComPtr<IEnumSTATDATA> advices;
    ASSERT_EQ(group->EnumDAdvise(advices.put()), S_OK);
    STATDATA data;
    ULONG fetched = 0;
    ASSERT_EQ(advices->Next(1, &data, &fetched), S_OK);
    EXPECT_EQ(data.dwConnection, connection);
    EXPECT_EQ(data.formatetc.cfFormat, f.cfFormat);
    data.pAdvSink->Release();

    EXPECT_EQ(group->DUnadvise(connection + 100), OLE_E_NOCONNECTION);
    EXPECT_EQ(group->DUnadvise(connection), S_OK);
    EXPECT_EQ(group->DUnadvise(connection), OLE_E_NOCONNECTION);
    advices = nullptr;
    EXPECT_EQ(sink->References(), 1u) << "the group let go of the sink";
    STGMEDIUM medium;
    EXPECT_EQ(group->GetData(&f, &medium), E_NOTIMPL);
}

TEST_F(GroupSubscriptionTest, SinksMayCallBackIntoTheGroupDuringACallback) {
    auto group = AddGroup<IUnknown>(u"reentry");
    auto sink = MakeComObject<DataCallbackSink>();
    const auto handles = AddItems(group.get(), {u"Ramp.I4"}, nullptr, VT_EMPTY, true, 1);
    std::atomic<int> answered{0};
    IOPCSyncIO* io = group.As<IOPCSyncIO>().detach();
    IOPCItemMgt* items = group.As<IOPCItemMgt>().detach();
    sink->SetAction([&, handle = handles[0]] {
        OPCHANDLE h = handle;
        TaskArray<OPCITEMSTATE> states;
        TaskArray<HRESULT> errors;
        if (io->Read(OPC_DS_CACHE, 1, &h, states.put(), errors.put()) == S_OK) VariantClear(&states[0].vDataValue);
        TaskArray<HRESULT> activeErrors;
        if (items->SetActiveState(1, &h, TRUE, activeErrors.put()) == S_OK) ++answered;
    });
    AdviseCallback(group.get(), sink);
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 2));
    sink->SetAction(nullptr);
    EXPECT_GE(answered.load(), 1);
    io->Release();
    items->Release();
}

TEST_F(GroupSubscriptionTest, RemovingTheGroupLetsGoOfEverySinkAtOnce) {
    // An update an hour away must not hold the removal up.
    OPCHANDLE handle = 0;
    auto group = AddGroup<IDataObject>(u"removed", true, 3600000, 1, &handle);
    auto callback = MakeComObject<DataCallbackSink>();
    auto stream = MakeComObject<AdviseSinkRecorder>();
    AdviseCallback(group.get(), callback);
    FORMATETC f;
    f.cfFormat = Cf("OPCSTMFORMATDATA");
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = -1;
    f.tymed = TYMED_HGLOBAL;
    DWORD connection = 0;
    ASSERT_EQ(group->DAdvise(&f, 0, stream.get(), &connection), S_OK);
    AddItems(group.get(), {u"Ramp.I4"});
    ASSERT_TRUE(callback->WaitForCalls(CallKind::DataChange, 1));
    ASSERT_TRUE(stream->WaitForStreams(1));

    EXPECT_EQ(table->RemoveGroup(handle, TRUE), S_OK);
    EXPECT_EQ(callback->References(), 1u);
    EXPECT_EQ(stream->References(), 1u);
}

TEST_F(GroupSubscriptionTest, AGroupRemovedFromInsideItsOwnCallbackEndsCleanly) {
    OPCHANDLE handle = 0;
    auto group = AddGroup<IOPCGroupStateMgt>(u"self", true, 10, 1, &handle);
    auto sink = MakeComObject<DataCallbackSink>();
    std::atomic<HRESULT> removed{E_UNEXPECTED};
    std::atomic<bool> once{false};
    sink->SetAction([&] {
        if (!once.exchange(true)) removed = table->RemoveGroup(handle, TRUE);
    });
    AdviseCallback(group.get(), sink);
    AddItems(group.get(), {u"Ramp.I4"});
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    ASSERT_TRUE(sink->WaitUntil([&] { return removed.load() != E_UNEXPECTED; }));
    EXPECT_EQ(removed.load(), S_OK);
    DWORD revised;
    EXPECT_EQ(group->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), E_FAIL);
}

}  // namespace
}  // namespace simserver::test
