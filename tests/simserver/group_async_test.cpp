// Asynchronous reads, writes, refreshes and cancels through IOPCAsyncIO2 (2.0 callback) and
// IOPCAsyncIO (1.0 streams).
#include <functional>

#include "group_test_support.h"

namespace simserver::test {
namespace {

const ItemRecord* FindItem(const CallbackRecord& call, OPCHANDLE clientHandle) {
    for (const auto& item : call.items)
        if (item.clientHandle == clientHandle) return &item;
    return nullptr;
}

class GroupAsync20Test : public GroupTest {
protected:
    void SetUp() override {
        GroupTest::SetUp();
        config->writeErrors["Writable.UI4"] = E_ACCESSDENIED;
        MakeTable();
        group = AddGroup<IOPCAsyncIO2>(u"async2", true, 10, 88);
        sink = MakeComObject<DataCallbackSink>();
        AdviseCallback(group.get(), sink);
        // Client handles 1.. in this order.
        handles = AddItems(group.get(), {u"Writable.I4", u"Writable.R8", u"Ramp.I4", u"Writable.UI4"}, nullptr,
                           VT_EMPTY, true, 1);
        ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    }

    ComPtr<IOPCAsyncIO2> group;
    ComPtr<DataCallbackSink> sink;
    std::vector<OPCHANDLE> handles;
};

TEST_F(GroupAsync20Test, ReadCompletesWithTheClientsTransactionIdAndOnlyTheGoodItems) {
    OPCHANDLE list[3] = {handles[0], 0xABCDEF, handles[2]};
    DWORD cancel = 0;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Read(3, list, 0x1234, &cancel, errors.put()), S_FALSE);
    EXPECT_NE(cancel, 0u);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(errors[2], S_OK);

    ASSERT_TRUE(sink->WaitForTransaction(CallKind::ReadComplete, 0x1234));
    CallbackRecord done;
    ASSERT_TRUE(sink->Find(CallKind::ReadComplete, 0x1234, &done));
    EXPECT_NE(done.thread, std::this_thread::get_id());
    EXPECT_EQ(done.group, 88u);
    ASSERT_EQ(done.items.size(), 2u);
    EXPECT_EQ(done.items[0].clientHandle, 1u);
    EXPECT_EQ(done.items[0].value->vt, VT_I4);
    EXPECT_EQ(done.items[1].clientHandle, 3u);
    EXPECT_EQ(done.items[1].quality, OPC_QUALITY_GOOD);

    // Nothing valid: no transaction at all.
    OPCHANDLE bad = 0;
    TaskArray<HRESULT> badErrors;
    EXPECT_EQ(group->Read(1, &bad, 0x5555, &cancel, badErrors.put()), S_FALSE);
    EXPECT_EQ(cancel, 0u);
    EXPECT_EQ(badErrors[0], OPC_E_INVALIDHANDLE);
}

TEST_F(GroupAsync20Test, WriteReportsEachItemInTheCompletion) {
    Variant values[] = {Variant::I4(321), Variant::Str("abc"), Variant::I4(5), Variant::I4(6)};
    std::vector<VARIANT> raw;
    for (auto& v : values) raw.push_back(*v.get());
    OPCHANDLE list[4] = {handles[0], handles[1], handles[2], handles[3]};
    DWORD cancel = 0;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Write(4, list, raw.data(), 0x77, &cancel, errors.put()), S_FALSE);
    // Rights are judged at the call, values when the write is made.
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], S_OK);
    EXPECT_EQ(errors[2], OPC_E_BADRIGHTS);
    EXPECT_EQ(errors[3], S_OK);

    ASSERT_TRUE(sink->WaitForTransaction(CallKind::WriteComplete, 0x77));
    CallbackRecord done;
    ASSERT_TRUE(sink->Find(CallKind::WriteComplete, 0x77, &done));
    EXPECT_EQ(done.group, 88u);
    EXPECT_EQ(done.masterError, S_FALSE);
    const std::vector<std::pair<OPCHANDLE, HRESULT>> expected = {{1, S_OK}, {2, OPC_E_BADTYPE}, {4, E_ACCESSDENIED}};
    EXPECT_EQ(done.writes, expected);

    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> readErrors;
    ASSERT_EQ(group.As<IOPCSyncIO>()->Read(OPC_DS_DEVICE, 1, list, states.put(), readErrors.put()), S_OK);
    EXPECT_EQ(states[0].vDataValue.lVal, 321);
}

TEST_F(GroupAsync20Test, Refresh2SendsEveryActiveItemWithTheTransactionId) {
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group.As<IOPCItemMgt>()->SetActiveState(1, &handles[1], FALSE, errors.put()), S_OK);
    for (OPCDATASOURCE source : {OPC_DS_CACHE, OPC_DS_DEVICE}) {
        const DWORD tid = 900 + source;
        DWORD cancel = 0;
        ASSERT_EQ(group->Refresh2(source, tid, &cancel), S_OK);
        EXPECT_NE(cancel, 0u);
        ASSERT_TRUE(sink->WaitForTransaction(CallKind::DataChange, tid));
        CallbackRecord done;
        ASSERT_TRUE(sink->Find(CallKind::DataChange, tid, &done));
        EXPECT_EQ(done.items.size(), 3u) << "unchanged items too, the inactive one not";
        EXPECT_EQ(FindItem(done, 2), nullptr);
    }

    DWORD cancel = 0;
    EXPECT_EQ(group->Refresh2(static_cast<OPCDATASOURCE>(9), 1, &cancel), E_INVALIDARG);
    EXPECT_EQ(group->Refresh2(OPC_DS_CACHE, 1, nullptr), E_POINTER);
    BOOL off = FALSE;
    DWORD revised;
    ASSERT_EQ(group.As<IOPCGroupStateMgt>()->SetState(nullptr, &revised, &off, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(group->Refresh2(OPC_DS_CACHE, 1, &cancel), E_FAIL) << "inactive group";
}

TEST_F(GroupAsync20Test, Cancel2StopsAQueuedTransactionAndConfirmsIt) {
    // The group's next callback is held, so the read queues behind it.
    sink->HoldNextCall();
    DWORD refreshCancel = 0;
    ASSERT_EQ(group->Refresh2(OPC_DS_DEVICE, 1, &refreshCancel), S_OK);
    ASSERT_TRUE(sink->WaitUntilHeld());
    DWORD cancel = 0;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Read(1, &handles[0], 0xC0DE, &cancel, errors.put()), S_OK);
    EXPECT_EQ(group->Cancel2(cancel), S_OK);
    EXPECT_EQ(group->Cancel2(cancel), E_FAIL) << "cancelled already";
    EXPECT_EQ(group->Cancel2(0xFFFF0000), E_FAIL);
    sink->Open();

    ASSERT_TRUE(sink->WaitForTransaction(CallKind::CancelComplete, 0xC0DE));
    CallbackRecord done;
    EXPECT_FALSE(sink->Find(CallKind::ReadComplete, 0xC0DE, &done)) << "the cancelled read completed";

    // A completed transaction can no longer be cancelled.
    ASSERT_EQ(group->Read(1, &handles[0], 0xD0D0, &cancel, errors.put()), S_OK);
    ASSERT_TRUE(sink->WaitForTransaction(CallKind::ReadComplete, 0xD0D0));
    EXPECT_EQ(group->Cancel2(cancel), E_FAIL);
}

TEST_F(GroupAsync20Test, CallsNeedACallbackAndValidArguments) {
    auto bare = AddGroup<IOPCAsyncIO2>(u"bare");
    OPCHANDLE handle = AddItems(bare.get(), {u"Writable.I4"})[0];
    VARIANT value = *Variant::I4(1).get();
    DWORD cancel = 0;
    HRESULT* errors = nullptr;
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"read without callback", [&] { return bare->Read(1, &handle, 1, &cancel, &errors); }, CONNECT_E_NOCONNECTION},
        {"write without callback", [&] { return bare->Write(1, &handle, &value, 1, &cancel, &errors); },
         CONNECT_E_NOCONNECTION},
        {"refresh without callback", [&] { return bare->Refresh2(OPC_DS_CACHE, 1, &cancel); }, CONNECT_E_NOCONNECTION},
        {"read count 0", [&] { return group->Read(0, &handles[0], 1, &cancel, &errors); }, E_INVALIDARG},
        {"read no handles", [&] { return group->Read(1, nullptr, 1, &cancel, &errors); }, E_INVALIDARG},
        {"read no cancel id", [&] { return group->Read(1, &handles[0], 1, nullptr, &errors); }, E_POINTER},
        {"read no errors", [&] { return group->Read(1, &handles[0], 1, &cancel, nullptr); }, E_POINTER},
        {"write no values", [&] { return group->Write(1, &handles[0], nullptr, 1, &cancel, &errors); }, E_INVALIDARG},
        {"write count 0", [&] { return group->Write(0, &handles[0], &value, 1, &cancel, &errors); }, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_EQ(errors, nullptr) << c.name;
    }
}

// --- 1.0 -----------------------------------------------------------------------------

class GroupAsync10Test : public GroupTest {
protected:
    void SetUp() override {
        GroupTest::SetUp();
        group = AddGroup<IOPCAsyncIO>(u"async1", true, 10, 66);
        data = MakeComObject<AdviseSinkRecorder>();
        writes = MakeComObject<AdviseSinkRecorder>();
        auto object = group.As<IDataObject>();
        FORMATETC f;
        f.dwAspect = DVASPECT_CONTENT;
        f.lindex = -1;
        f.tymed = TYMED_HGLOBAL;
        f.cfFormat = Cf("OPCSTMFORMATDATATIME");
        ASSERT_EQ(object->DAdvise(&f, 0, data.get(), &dataConnection), S_OK);
        f.cfFormat = Cf("OPCSTMFORMATWRITECOMPLETE");
        ASSERT_EQ(object->DAdvise(&f, 0, writes.get(), &writeConnection), S_OK);
        handles = AddItems(group.get(), {u"Writable.I4", u"Text.Static", u"Ramp.I4"}, nullptr, VT_EMPTY, true, 1);
        ASSERT_TRUE(data->WaitForStreams(1));
    }

    // The data stream with this transaction id, once it has come.
    ParsedStream WaitForData(DWORD tid) {
        ParsedStream found;
        for (std::size_t n = 1;; ++n) {
            if (!data->WaitForStreams(n)) return found;
            const auto streams = data->Streams();
            ParsedStream s = ParseDataStream(streams[n - 1].bytes, true);
            if (s.ok && s.transactionId == tid) return s;
        }
    }

    ComPtr<IOPCAsyncIO> group;
    ComPtr<AdviseSinkRecorder> data, writes;
    DWORD dataConnection = 0, writeConnection = 0;
    std::vector<OPCHANDLE> handles;
};

TEST_F(GroupAsync10Test, ReadAndRefreshAnswerOnTheDataStreamWithServerTransactionIds) {
    OPCHANDLE list[2] = {handles[1], 0x999};
    DWORD readTid = 0;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Read(dataConnection, OPC_DS_DEVICE, 2, list, &readTid, errors.put()), S_FALSE);
    EXPECT_NE(readTid, 0u);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    const ParsedStream read = WaitForData(readTid);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.group, 66u);
    ASSERT_EQ(read.items.size(), 1u);
    EXPECT_EQ(read.items[0].clientHandle, 2u);
    EXPECT_EQ(read.items[0].text, u"Orvane OPC");

    DWORD refreshTid = 0;
    ASSERT_EQ(group->Refresh(dataConnection, OPC_DS_CACHE, &refreshTid), S_OK);
    EXPECT_NE(refreshTid, 0u);
    EXPECT_NE(refreshTid, readTid);
    const ParsedStream refresh = WaitForData(refreshTid);
    ASSERT_TRUE(refresh.ok);
    EXPECT_EQ(refresh.items.size(), 3u);

    // The write advice, connection 0 or an unknown one do not take data.
    DWORD tid = 1;
    EXPECT_EQ(group->Refresh(writeConnection, OPC_DS_CACHE, &tid), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(tid, 0u);
    EXPECT_EQ(group->Refresh(0, OPC_DS_CACHE, &tid), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group->Read(dataConnection + writeConnection, OPC_DS_CACHE, 1, list, &tid, errors.put()),
              CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group->Refresh(dataConnection, static_cast<OPCDATASOURCE>(0), &tid), E_INVALIDARG);
}

TEST_F(GroupAsync10Test, WriteAnswersOnTheWriteCompleteStream) {
    Variant values[] = {Variant::I4(55), Variant::I4(1)};
    std::vector<VARIANT> raw = {*values[0].get(), *values[1].get()};
    OPCHANDLE list[2] = {handles[0], handles[2]};
    DWORD tid = 0;
    TaskArray<HRESULT> errors;
    EXPECT_EQ(group->Write(dataConnection, 2, list, raw.data(), &tid, errors.put()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(group->Write(writeConnection, 2, list, raw.data(), &tid, errors.put()), S_FALSE);
    EXPECT_EQ(errors[1], OPC_E_BADRIGHTS);
    ASSERT_TRUE(writes->WaitForStreams(1));
    const StreamRecord record = writes->Streams().front();
    EXPECT_EQ(record.format, Cf("OPCSTMFORMATWRITECOMPLETE"));
    const ParsedStream s = ParseWriteStream(record.bytes);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.transactionId, tid);
    EXPECT_EQ(s.group, 66u);
    EXPECT_EQ(s.status, S_OK);
    EXPECT_EQ(s.writes, (std::vector<std::pair<OPCHANDLE, HRESULT>>{{1, S_OK}}));
}

TEST_F(GroupAsync10Test, CancelDropsAQueuedTransaction) {
    data->HoldNextCall();
    DWORD first = 0, cancelled = 0, barrier = 0;
    ASSERT_EQ(group->Refresh(dataConnection, OPC_DS_DEVICE, &first), S_OK);
    ASSERT_TRUE(data->WaitUntilHeld());
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->Read(dataConnection, OPC_DS_DEVICE, 1, &handles[0], &cancelled, errors.put()), S_OK);
    EXPECT_EQ(group->Cancel(cancelled), S_OK);
    EXPECT_EQ(group->Cancel(cancelled), E_FAIL);
    EXPECT_EQ(group->Cancel(0), E_FAIL);
    ASSERT_EQ(group->Refresh(dataConnection, OPC_DS_DEVICE, &barrier), S_OK);
    data->Open();

    ASSERT_TRUE(WaitForData(barrier).ok);
    for (const auto& record : data->Streams())
        EXPECT_NE(ParseDataStream(record.bytes, true).transactionId, cancelled) << "the cancelled read came";
}

}  // namespace
}  // namespace simserver::test
