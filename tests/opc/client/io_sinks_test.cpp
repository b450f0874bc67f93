// The two data sinks as a server calls them: the 1.0 advise sink with streams in global
// memory, and the 2.0 data callback with its arrays. Items and groups are real; they are found
// through their 32-bit client handles.
#include "io_test_support.h"

#include "opc/client/advise_sink.h"
#include "opc/client/client_handles.h"
#include "opc/client/data_sink20.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "platform/com/filetime.h"
#include "platform/com/global_memory.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"
#include "simserver/stream10.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace {

// A group named "G" with items "A" and "B", and a second group "H" with item "X".
struct Fixture {
    Fixture() {
        group.SetName("G");
        other.SetName("H");
        a.itemId = "A";
        b.itemId = "B";
        x.itemId = "X";
        for (CVItem* item : {&a, &b, &x}) item->added = TRUE;
    }
    std::string Value(const CVItem& item) const {
        std::string text;
        item.FormatValue(text);
        return text;
    }
    std::string Time(const CVItem& item) const {
        std::string text;
        item.FormatTimestamp(text);
        return text;
    }

    CVGroup group{nullptr};
    CVGroup other{nullptr};
    CVItem a{&group};
    CVItem b{&group};
    CVItem x{&other};
};

// Hands `bytes` to the sink as a global memory block of exactly that size.
void Deliver(IAdviseSink& sink, CLIPFORMAT format, const std::vector<std::uint8_t>& bytes,
             DWORD mediumKind = TYMED_HGLOBAL) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    ASSERT_NE(block, nullptr);
    if (!bytes.empty()) std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    FORMATETC fmt{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    medium.tymed = mediumKind;
    medium.hGlobal = block;
    sink.OnDataChange(&fmt, &medium);
    // The medium stays the caller's: the block is still alive.
    EXPECT_EQ(GlobalSize(block), bytes.size());
    GlobalFree(block);
}

std::vector<std::uint8_t> DataStream(bool withTime, OPCHANDLE group, DWORD transaction,
                                     std::initializer_list<std::pair<OPCHANDLE, LONG>> values) {
    std::vector<VARIANT> held;
    for (auto [h, v] : values) held.push_back(I4Value(v));
    std::vector<simserver::Stream10Item> items;
    std::size_t i = 0;
    for (auto [h, v] : values) items.push_back({h, 0xC0, FileTimeNow(), &held[i++]});
    return simserver::EncodeDataStream(withTime ? simserver::Stream10Format::DataTime : simserver::Stream10Format::Data,
                                       group, transaction, S_OK, items);
}

TEST(IoSinks, QueryInterfaceAnswersOnlyItsOwnInterfaces) {
    ComPtr<CVAdviseSink> advise = MakeComObject<CVAdviseSink>();
    ComPtr<IVDataSink20> data = MakeComObject<IVDataSink20>();
    struct Case {
        const char* name;
        IUnknown* object;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    };
    const Case cases[] = {
        {"advise: IUnknown", advise->Identity(), &IID_IUnknown, false, S_OK},
        {"advise: IAdviseSink", advise->Identity(), &IID_IAdviseSink, false, S_OK},
        {"advise: IOPCDataCallback", advise->Identity(), &IID_IOPCDataCallback, false, E_NOINTERFACE},
        {"advise: null out pointer", advise->Identity(), &IID_IAdviseSink, true, E_INVALIDARG},
        {"2.0: IUnknown", data->Identity(), &IID_IUnknown, false, S_OK},
        {"2.0: IOPCDataCallback", data->Identity(), &IID_IOPCDataCallback, false, S_OK},
        {"2.0: IAdviseSink", data->Identity(), &IID_IAdviseSink, false, E_NOINTERFACE},
        {"2.0: null out pointer", data->Identity(), &IID_IUnknown, true, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.object->QueryInterface(*c.iid, c.nullOut ? nullptr : &out), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(out, nullptr);
            static_cast<IUnknown*>(out)->Release();
        } else if (!c.nullOut) {
            EXPECT_EQ(out, nullptr);
        }
    }
}

TEST(IoSinks, AdviseSinkAppliesDataStreams) {
    const Stream10ClipFormats& formats = Stream10ClipboardFormats();
    struct Case {
        const char* name;
        bool withTime;
        DWORD transaction;
        bool timestampShown;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"subscription update without time", false, 0, false, {}},
        {"subscription update with time", true, 0, true, {}},
        {"completion of a 1.0 read",
         true,
         0xABC,
         true,
         {"Asynchronous 1.0 transaction 00000ABC completed for 2 items on group 'G' (HR = 00000000)."}},
        {"completion without time",
         false,
         0x1,
         false,
         {"Asynchronous 1.0 transaction 00000001 completed for 2 items on group 'G' (HR = 00000000)."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder events;
        Fixture f;
        ComPtr<CVAdviseSink> sink = MakeComObject<CVAdviseSink>();
        // A timed update first, so an untimed one visibly clears the timestamp.
        f.a.SetValueWithTimestamp(I4Value(0), 0xC0, FileTimeNow());
        Deliver(*sink, c.withTime ? formats.dataTime : formats.data,
                DataStream(c.withTime, f.group.ClientHandle(), c.transaction,
                           {{f.a.ClientHandle(), 11}, {f.b.ClientHandle(), 22}}));
        EXPECT_EQ(f.Value(f.a), "11");
        EXPECT_EQ(f.Value(f.b), "22");
        EXPECT_EQ(f.a.GetUpdateCount(), 2u);
        EXPECT_EQ(f.Time(f.a) != "N/A", c.timestampShown);
        EXPECT_EQ(events.Events(), c.events);
    }
}

TEST(IoSinks, AdviseSinkReportsWriteCompletion) {
    EventRecorder events;
    Fixture f;
    ComPtr<CVAdviseSink> sink = MakeComObject<CVAdviseSink>();
    const simserver::Stream10WriteResult results[] = {
        {f.a.ClientHandle(), S_OK}, {f.b.ClientHandle(), OPC_E_BADRIGHTS}, {0x00BADBAD, E_FAIL}};
    Deliver(*sink, Stream10ClipboardFormats().writeComplete,
            simserver::EncodeWriteCompleteStream(f.group.ClientHandle(), 0x1234, S_FALSE, results));
    EXPECT_EQ(events.Events(),
              (std::vector<std::string>{
                  "Asynchronous 1.0 write transaction 00001234 completed for 3 items on group 'G' (HR = 00000001).",
                  "Failed on item 'B'  for asynchronous 1.0 write transaction 00001234 (HR = C0040006)."}));
}

// Deliveries that must change nothing: no item update and no report.
TEST(IoSinks, AdviseSinkIgnoresWhatItCannotUse) {
    const Stream10ClipFormats& formats = Stream10ClipboardFormats();
    struct Case {
        const char* name;
        std::function<void(IAdviseSink&, Fixture&)> deliver;
    };
    const Case cases[] = {
        {"null format and medium",
         [](IAdviseSink& s, Fixture&) {
             STGMEDIUM m;
             FORMATETC fmt;
             s.OnDataChange(nullptr, &m);
             s.OnDataChange(&fmt, nullptr);
         }},
        {"medium that is not global memory",
         [&](IAdviseSink& s, Fixture& f) {
             Deliver(s, formats.data, DataStream(false, f.group.ClientHandle(), 5, {{f.a.ClientHandle(), 1}}),
                     TYMED_ISTREAM);
         }},
        {"a format that is not one of the three",
         [](IAdviseSink& s, Fixture& f) {
             Deliver(s, 0xC0DE, DataStream(false, f.group.ClientHandle(), 5, {{f.a.ClientHandle(), 1}}));
         }},
        {"a handle that is not a global memory block",
         [&](IAdviseSink& s, Fixture&) {
             int notABlock = 0;
             FORMATETC fmt{formats.data, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
             STGMEDIUM m;
             m.tymed = TYMED_HGLOBAL;
             m.hGlobal = &notABlock;
             s.OnDataChange(&fmt, &m);
         }},
        {"unknown item handles",
         [&](IAdviseSink& s, Fixture& f) {
             Deliver(s, formats.data,
                     DataStream(false, f.group.ClientHandle(), 0,
                                {{0, 1}, {0x3FFFFF, 2}, {f.a.ClientHandle() + (1u << 22), 3}}));
         }},
        {"items of another group",
         [&](IAdviseSink& s, Fixture& f) {
             Deliver(s, formats.data, DataStream(false, f.other.ClientHandle(), 0, {{f.a.ClientHandle(), 1}}));
         }},
        {"an empty block", [&](IAdviseSink& s, Fixture&) { Deliver(s, formats.dataTime, {}); }},
        {"write completion of an unknown group",
         [&](IAdviseSink& s, Fixture& f) {
             const simserver::Stream10WriteResult r[] = {{f.a.ClientHandle(), E_FAIL}};
             Deliver(s, formats.writeComplete, simserver::EncodeWriteCompleteStream(0, 1, S_OK, r));
             Deliver(s, formats.writeComplete, simserver::EncodeWriteCompleteStream(0x0ABCDEF0, 1, S_OK, r));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder events;
        Fixture f;
        ComPtr<CVAdviseSink> sink = MakeComObject<CVAdviseSink>();
        c.deliver(*sink, f);
        EXPECT_EQ(f.a.GetUpdateCount(), 0u);
        EXPECT_EQ(f.x.GetUpdateCount(), 0u);
        EXPECT_TRUE(events.Events().empty());
    }
}

// The arrays of one 2.0 delivery, each of which a test may null out.
struct Arrays20 {
    explicit Arrays20(const Fixture& f) {
        handles = {f.a.ClientHandle(), f.b.ClientHandle()};
        values = {I4Value(5), I4Value(6)};
        qualities = {0xC0, 0x40};
        times = {FileTimeFromTicks(kTicks), FileTimeFromTicks(kTicks)};
        errors = {S_OK, E_FAIL};
    }
    static constexpr ULONGLONG kTicks = 133000000000000000ULL;
    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

TEST(IoSinks, DataSink20RefusesInvalidArguments) {
    struct Case {
        const char* name;
        std::function<HRESULT(IOPCDataCallback&, Fixture&, Arrays20&)> call;
    };
    auto change = [](bool read, OPCHANDLE group, DWORD count, bool h, bool v, bool q, bool t, bool e) {
        return [=](IOPCDataCallback& s, Fixture& f, Arrays20& a) {
            const OPCHANDLE g = group == 1 ? f.group.ClientHandle() : group;
            auto fn = read ? &IOPCDataCallback::OnReadComplete : &IOPCDataCallback::OnDataChange;
            return (s.*fn)(7, g, S_OK, S_OK, count, h ? a.handles.data() : nullptr, v ? a.values.data() : nullptr,
                           q ? a.qualities.data() : nullptr, t ? a.times.data() : nullptr,
                           e ? a.errors.data() : nullptr);
        };
    };
    const Case cases[] = {
        {"data change: null group", change(false, 0, 2, true, true, true, true, true)},
        {"data change: count 0", change(false, 1, 0, true, true, true, true, true)},
        {"data change: null handles", change(false, 1, 2, false, true, true, true, true)},
        {"data change: null values", change(false, 1, 2, true, false, true, true, true)},
        {"data change: null qualities", change(false, 1, 2, true, true, false, true, true)},
        {"data change: null timestamps", change(false, 1, 2, true, true, true, false, true)},
        {"data change: null errors", change(false, 1, 2, true, true, true, true, false)},
        {"read complete: count 0", change(true, 1, 0, true, true, true, true, true)},
        {"read complete: null values", change(true, 1, 2, true, false, true, true, true)},
        {"write complete: null group",
         [](IOPCDataCallback& s, Fixture&, Arrays20& a) {
             return s.OnWriteComplete(7, 0, S_OK, 2, a.handles.data(), a.errors.data());
         }},
        {"write complete: count 0",
         [](IOPCDataCallback& s, Fixture& f, Arrays20& a) {
             return s.OnWriteComplete(7, f.group.ClientHandle(), S_OK, 0, a.handles.data(), a.errors.data());
         }},
        {"write complete: null errors",
         [](IOPCDataCallback& s, Fixture& f, Arrays20& a) {
             return s.OnWriteComplete(7, f.group.ClientHandle(), S_OK, 2, a.handles.data(), nullptr);
         }},
        {"write complete: null handles",
         [](IOPCDataCallback& s, Fixture& f, Arrays20& a) {
             return s.OnWriteComplete(7, f.group.ClientHandle(), S_OK, 2, nullptr, a.errors.data());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder events;
        Fixture f;
        Arrays20 arrays(f);
        ComPtr<IVDataSink20> sink = MakeComObject<IVDataSink20>();
        EXPECT_EQ(c.call(*sink, f, arrays), E_INVALIDARG);
        EXPECT_EQ(f.a.GetUpdateCount(), 0u);
        EXPECT_TRUE(events.Events().empty());
    }
}

TEST(IoSinks, DataSink20AppliesValuesAndReportsTransactions) {
    struct Case {
        const char* name;
        bool read;
        DWORD transaction;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"subscription update", false, 0, {}},
        {"completion of a refresh",
         false,
         0x2A,
         {"Asynchronous 2.0 transaction 0000002A completed for 2 items on group 'G' (HR = 80004005)."}},
        {"read completion, reported even with id 0",
         true,
         0,
         {"Asynchronous 2.0 transaction 00000000 completed for 2 items on group 'G' (HR = 80004005)."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder events;
        Fixture f;
        Arrays20 a(f);
        ComPtr<IVDataSink20> sink = MakeComObject<IVDataSink20>();
        auto fn = c.read ? &IOPCDataCallback::OnReadComplete : &IOPCDataCallback::OnDataChange;
        EXPECT_EQ(((*sink).*fn)(c.transaction, f.group.ClientHandle(), S_OK, E_FAIL, 2, a.handles.data(),
                                a.values.data(), a.qualities.data(), a.times.data(), a.errors.data()),
                  S_OK);
        EXPECT_EQ(f.Value(f.a), "5");
        // The error array is not consulted: the failed item takes what was sent for it.
        EXPECT_EQ(f.Value(f.b), "6");
        EXPECT_EQ(f.b.GetQuality(), 0x40);
        EXPECT_NE(f.Time(f.b), "N/A");
        EXPECT_EQ(events.Events(), c.events);
    }
}

TEST(IoSinks, DataSink20SkipsUnknownHandlesAndOtherGroupsItems) {
    EventRecorder events;
    Fixture f;
    ComPtr<IVDataSink20> sink = MakeComObject<IVDataSink20>();
    OPCHANDLE handles[] = {0x00BADBAD, f.x.ClientHandle(), f.a.ClientHandle()};
    VARIANT values[] = {I4Value(1), I4Value(2), I4Value(3)};
    WORD qualities[] = {0xC0, 0xC0, 0xC0};
    FILETIME times[3];
    HRESULT errors[3] = {};
    EXPECT_EQ(sink->OnDataChange(0, f.group.ClientHandle(), S_OK, S_OK, 3, handles, values, qualities, times, errors),
              S_OK);
    EXPECT_EQ(f.Value(f.a), "3");
    EXPECT_EQ(f.x.GetUpdateCount(), 0u);

    // A group handle that names no group reaches no item and reports nothing.
    EXPECT_EQ(sink->OnDataChange(9, 0x00BADBAD, S_OK, S_OK, 3, handles, values, qualities, times, errors), S_OK);
    EXPECT_EQ(f.a.GetUpdateCount(), 1u);
    EXPECT_TRUE(events.Events().empty());
}

TEST(IoSinks, ValuesArrivingAfterAResetLandOnlyOnceTheItemIsAddedAgain) {
    Fixture f;
    ComPtr<IVDataSink20> sink20 = MakeComObject<IVDataSink20>();
    ComPtr<CVAdviseSink> sink10 = MakeComObject<CVAdviseSink>();
    Arrays20 arrays(f);
    const auto deliver = [&] {
        sink20->OnDataChange(0, f.group.ClientHandle(), S_OK, S_OK, 2, arrays.handles.data(), arrays.values.data(),
                             arrays.qualities.data(), arrays.times.data(), arrays.errors.data());
        Deliver(*sink10, Stream10ClipboardFormats().data,
                DataStream(false, f.group.ClientHandle(), 0, {{f.a.ClientHandle(), 7}}));
    };
    f.a.Reset(false);  // removed from the server while a delivery was on its way
    deliver();
    EXPECT_EQ(f.a.GetUpdateCount(), 0u);
    EXPECT_EQ(f.a.ReadWireSnapshot().type, VT_EMPTY);
    EXPECT_EQ(f.b.GetUpdateCount(), 1u);  // other items are not held up

    f.a.AcceptValues();  // added again
    deliver();
    EXPECT_EQ(f.a.GetUpdateCount(), 2u);
}

TEST(IoSinks, DataSink20ReportsWriteCompletion) {
    EventRecorder events;
    Fixture f;
    ComPtr<IVDataSink20> sink = MakeComObject<IVDataSink20>();
    OPCHANDLE handles[] = {f.a.ClientHandle(), f.b.ClientHandle(), 0x00BADBAD, f.x.ClientHandle()};
    HRESULT errors[] = {OPC_E_BADTYPE, S_OK, E_FAIL, E_FAIL};
    EXPECT_EQ(sink->OnWriteComplete(0xBEEF, f.group.ClientHandle(), S_FALSE, 4, handles, errors), S_OK);
    EXPECT_EQ(events.Events(),
              (std::vector<std::string>{
                  "Asynchronous 2.0 write transaction 0000BEEF completed for 4 items on group 'G' (HR = 00000001).",
                  "Failed on item 'A' for asynchronous 2.0 write transaction 0000BEEF (HR = C0040004)."}));
}

// A server may still be inside a sink when the subscription is dropped: Detach waits for that
// delivery, and nothing delivered afterwards reaches an item, or the items reset after it
// would show a value again.
TEST(IoSinks, DetachWaitsForADeliveryInsideAndRefusesLaterOnes) {
    EventRecorder events;
    Fixture f;
    Arrays20 a(f);
    ComPtr<IVDataSink20> sink20 = MakeComObject<IVDataSink20>();
    ComPtr<CVAdviseSink> sink10 = MakeComObject<CVAdviseSink>();

    // A refresh completion reports its event before it applies the values: the hook holds it
    // inside the sink.
    std::promise<void> inside, release;
    std::shared_future<void> released = release.get_future().share();
    events.SetOnEvent([&](const std::string&) {
        inside.set_value();
        released.wait();
    });
    std::thread server([&] {
        sink20->OnDataChange(0x2A, f.group.ClientHandle(), S_OK, S_OK, 2, a.handles.data(), a.values.data(),
                             a.qualities.data(), a.times.data(), a.errors.data());
    });
    inside.get_future().wait();
    std::atomic<bool> detached{false};
    std::thread dropper([&] {
        sink20->Detach();
        detached = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(detached) << "Detach returned while a delivery was inside";
    release.set_value();
    server.join();
    dropper.join();
    events.SetOnEvent(nullptr);
    EXPECT_EQ(f.Value(f.a), "5");
    EXPECT_EQ(f.a.GetUpdateCount(), 1u);

    sink10->Detach();
    EXPECT_EQ(sink20->OnDataChange(0x2B, f.group.ClientHandle(), S_OK, S_OK, 2, a.handles.data(), a.values.data(),
                                   a.qualities.data(), a.times.data(), a.errors.data()),
              S_OK);
    EXPECT_EQ(sink20->OnReadComplete(0x2C, f.group.ClientHandle(), S_OK, S_OK, 2, a.handles.data(), a.values.data(),
                                     a.qualities.data(), a.times.data(), a.errors.data()),
              S_OK);
    EXPECT_EQ(sink20->OnWriteComplete(0x2D, f.group.ClientHandle(), S_OK, 2, a.handles.data(), a.errors.data()), S_OK);
    Deliver(*sink10, Stream10ClipboardFormats().dataTime,
            DataStream(true, f.group.ClientHandle(), 0x2E, {{f.a.ClientHandle(), 11}}));
    EXPECT_EQ(f.a.GetUpdateCount(), 1u);
    EXPECT_EQ(events.Events().size(), 1u) << "only the delivery that was inside reported";
}

// Server threads deliver while the GUI thread deletes and recreates items: a delivery never
// touches a deleted item (the sanitizer builds would see it), nor a new item in its slot.
TEST(IoSinks, DeliveriesRaceItemDeletion) {
    CVGroup group(nullptr);
    constexpr int kItems = 64;
    std::vector<std::unique_ptr<CVItem>> items;
    std::vector<OPCHANDLE> handles(kItems);
    for (int i = 0; i < kItems; ++i) {
        items.push_back(std::make_unique<CVItem>(&group));
        handles[i] = items.back()->ClientHandle();
    }
    std::atomic<bool> stop{false};
    auto deliver = [&] {
        ComPtr<IVDataSink20> sink20 = MakeComObject<IVDataSink20>();
        ComPtr<CVAdviseSink> sink10 = MakeComObject<CVAdviseSink>();
        std::vector<VARIANT> values(kItems, I4Value(1));
        std::vector<WORD> qualities(kItems, 0xC0);
        std::vector<FILETIME> times(kItems);
        std::vector<HRESULT> errors(kItems);
        std::vector<simserver::Stream10Item> stream;
        for (int i = 0; i < kItems; ++i) stream.push_back({handles[i], 0xC0, {}, &values[i]});
        const auto bytes =
            simserver::EncodeDataStream(simserver::Stream10Format::Data, group.ClientHandle(), 0, S_OK, stream);
        while (!stop.load()) {
            sink20->OnDataChange(0, group.ClientHandle(), S_OK, S_OK, kItems, handles.data(), values.data(),
                                 qualities.data(), times.data(), errors.data());
            Deliver(*sink10, Stream10ClipboardFormats().data, bytes);
        }
    };
    std::thread t1(deliver), t2(deliver);
    for (int round = 0; round < 200; ++round) {
        const int i = round % kItems;
        items[i] = std::make_unique<CVItem>(&group);  // the old item and its handle go away
        std::string text;
        items[(i + 1) % kItems]->FormatValue(text);
    }
    stop = true;
    t1.join();
    t2.join();
    // Every item was replaced; the deliveries named only the old handles, which stay dead even
    // where a new item took the old one's slot.
    for (const auto& item : items) EXPECT_EQ(item->GetUpdateCount(), 0u);
}

}  // namespace
