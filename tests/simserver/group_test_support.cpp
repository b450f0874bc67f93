#include "group_test_support.h"

#include <cstring>

#include "opc/da/stream_layout.h"
#include "platform/com/clipboard_format.h"
#include "simserver/group_values.h"

namespace simserver::test {

namespace layout = opc::stream;

// --- Recorder --------------------------------------------------------------------------

void Recorder::HoldNextCall() {
    std::lock_guard lock(gateMutex_);
    holdNext_ = true;
}

bool Recorder::WaitUntilHeld() {
    std::unique_lock lock(gateMutex_);
    return gateChanged_.wait_for(lock, 10s, [&] { return held_; });
}

void Recorder::Open() {
    std::lock_guard lock(gateMutex_);
    holdNext_ = false;
    held_ = false;
    gateChanged_.notify_all();
}

void Recorder::SetAction(std::function<void()> action) {
    std::lock_guard lock(gateMutex_);
    action_ = std::move(action);
}

void Recorder::Arrived() {
    changed_.notify_all();
    std::function<void()> action;
    {
        std::unique_lock lock(gateMutex_);
        action = action_;
        if (holdNext_) {
            holdNext_ = false;
            held_ = true;
            gateChanged_.notify_all();
            gateChanged_.wait_for(lock, 10s, [&] { return !held_; });
            held_ = false;
        }
    }
    if (action) {
        action();
        // What the action changed may be what a test waits for.
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
}

// --- DataCallbackSink ------------------------------------------------------------------

std::vector<CallbackRecord> DataCallbackSink::Calls() {
    std::lock_guard lock(mutex_);
    std::vector<CallbackRecord> copy;
    for (const auto& c : calls_) {
        CallbackRecord r;
        r.kind = c.kind;
        r.transactionId = c.transactionId;
        r.group = c.group;
        r.masterQuality = c.masterQuality;
        r.masterError = c.masterError;
        r.writes = c.writes;
        r.thread = c.thread;
        for (const auto& item : c.items) {
            ItemRecord i;
            i.clientHandle = item.clientHandle;
            i.value = item.value;
            i.quality = item.quality;
            i.timestamp = item.timestamp;
            i.error = item.error;
            r.items.push_back(std::move(i));
        }
        copy.push_back(std::move(r));
    }
    return copy;
}

std::size_t DataCallbackSink::Count(CallKind kind) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& c : calls_) n += c.kind == kind;
    return n;
}

bool DataCallbackSink::WaitForCalls(CallKind kind, std::size_t count, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            std::size_t n = 0;
            for (const auto& c : calls_) n += c.kind == kind;
            return n >= count;
        },
        timeout);
}

bool DataCallbackSink::WaitForCalls(const std::function<bool(const std::vector<CallbackRecord>&)>& done,
                                    std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return done(calls_); }, timeout);
}

bool DataCallbackSink::WaitForTransaction(CallKind kind, DWORD transactionId, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            for (const auto& c : calls_)
                if (c.kind == kind && c.transactionId == transactionId) return true;
            return false;
        },
        timeout);
}

bool DataCallbackSink::Find(CallKind kind, DWORD transactionId, CallbackRecord* out) {
    for (auto& c : Calls()) {
        if (c.kind == kind && c.transactionId == transactionId) {
            *out = std::move(c);
            return true;
        }
    }
    return false;
}

void DataCallbackSink::Add(CallbackRecord record) {
    record.thread = std::this_thread::get_id();
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(record));
    }
    Arrived();
}

HRESULT DataCallbackSink::RecordValues(CallKind kind, DWORD tid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count,
                                       const OPCHANDLE* handles, const VARIANT* values, const WORD* qualities,
                                       const FILETIME* times, const HRESULT* errors) {
    if (count == 0 || !handles || !values || !qualities || !times || !errors) return E_INVALIDARG;
    CallbackRecord r;
    r.kind = kind;
    r.transactionId = tid;
    r.group = group;
    r.masterQuality = mq;
    r.masterError = me;
    for (DWORD i = 0; i < count; ++i) {
        ItemRecord item;
        item.clientHandle = handles[i];
        item.value = Variant(values[i]);
        item.quality = qualities[i];
        item.timestamp = times[i];
        item.error = errors[i];
        r.items.push_back(std::move(item));
    }
    Add(std::move(r));
    return S_OK;
}

HRESULT DataCallbackSink::OnDataChange(DWORD tid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count,
                                       OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                                       HRESULT* errors) {
    return RecordValues(CallKind::DataChange, tid, group, mq, me, count, handles, values, qualities, times, errors);
}

HRESULT DataCallbackSink::OnReadComplete(DWORD tid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count,
                                         OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                                         HRESULT* errors) {
    return RecordValues(CallKind::ReadComplete, tid, group, mq, me, count, handles, values, qualities, times, errors);
}

HRESULT DataCallbackSink::OnWriteComplete(DWORD tid, OPCHANDLE group, HRESULT me, DWORD count, OPCHANDLE* handles,
                                          HRESULT* errors) {
    if (count == 0 || !handles || !errors) return E_INVALIDARG;
    CallbackRecord r;
    r.kind = CallKind::WriteComplete;
    r.transactionId = tid;
    r.group = group;
    r.masterError = me;
    for (DWORD i = 0; i < count; ++i) r.writes.emplace_back(handles[i], errors[i]);
    Add(std::move(r));
    return S_OK;
}

HRESULT DataCallbackSink::OnCancelComplete(DWORD tid, OPCHANDLE group) {
    CallbackRecord r;
    r.kind = CallKind::CancelComplete;
    r.transactionId = tid;
    r.group = group;
    Add(std::move(r));
    return S_OK;
}

// --- AdviseSinkRecorder ----------------------------------------------------------------

std::vector<StreamRecord> AdviseSinkRecorder::Streams() {
    std::lock_guard lock(mutex_);
    return streams_;
}

bool AdviseSinkRecorder::WaitForStreams(std::size_t count, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return streams_.size() >= count; }, timeout);
}

void AdviseSinkRecorder::OnDataChange(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium || medium->tymed != TYMED_HGLOBAL) return;
    StreamRecord r;
    r.format = format->cfFormat;
    r.thread = std::this_thread::get_id();
    const std::size_t size = GlobalSize(medium->hGlobal);
    if (void* p = GlobalLock(medium->hGlobal)) {
        r.bytes.assign(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + size);
        GlobalUnlock(medium->hGlobal);
    }
    {
        std::lock_guard lock(mutex_);
        streams_.push_back(std::move(r));
    }
    Arrived();
}

// --- stream reading --------------------------------------------------------------------

ParsedStream ParseDataStream(const std::vector<std::uint8_t>& bytes, bool withTime) {
    ParsedStream s;
    std::span<const std::uint8_t> b(bytes);
    if (!layout::ReadLE(b, layout::kGroupSizeOffset, s.size) ||
        !layout::ReadLE(b, layout::kGroupItemCountOffset, s.count) ||
        !layout::ReadLE(b, layout::kGroupClientHandleOffset, s.group) ||
        !layout::ReadLE(b, layout::kGroupTransactionOffset, s.transactionId) ||
        !layout::ReadLE(b, layout::kGroupStatusOffset, s.status))
        return s;
    if (s.count > bytes.size()) return s;
    for (DWORD i = 0; i < s.count; ++i) {
        ParsedItem item;
        const std::size_t h = layout::ItemHeaderOffset(i, withTime);
        DWORD valueOffset = 0;
        if (!layout::ReadLE(b, h + layout::kItemClientHandleOffset, item.clientHandle) ||
            !layout::ReadLE(b, h + layout::kItemValueOffsetOffset, valueOffset) ||
            !layout::ReadLE(b, h + layout::kItemQualityOffset, item.quality))
            return s;
        if (withTime && (!layout::ReadLE(b, h + layout::kItemTimestampOffset, item.timestamp.dwLowDateTime) ||
                         !layout::ReadLE(b, h + layout::kItemTimestampOffset + 4, item.timestamp.dwHighDateTime)))
            return s;
        if (!layout::ReadLE(b, valueOffset + layout::kVariantTypeOffset, item.vt) ||
            !layout::ReadLE(b, valueOffset + layout::kVariantValueOffset, item.bits))
            return s;
        std::size_t at = valueOffset + layout::kVariantSize;
        if (item.vt == VT_BSTR) {
            DWORD n = 0;
            if (!layout::ReadLE(b, at, n)) return s;
            at += 4;
            if (n > 0) {
                if (!layout::Fits(bytes.size(), at, 2 * std::size_t{n} + 2)) return s;
                for (DWORD k = 0; k < n; ++k)
                    item.text += static_cast<char16_t>(layout::GetLE<std::uint16_t>(&bytes[at + 2 * k]));
            }
        } else if (item.vt & VT_ARRAY) {
            DWORD elementSize = 0;
            if (!layout::ReadLE(b, at + layout::kArrayDimsOffset, item.arrayDims) ||
                !layout::ReadLE(b, at + layout::kArrayElementSizeOffset, elementSize))
                return s;
            const int boundCount = item.arrayDims == 1 ? 1 : 2;
            std::size_t elements = 1;
            for (int d = 0; d < boundCount; ++d) {
                ULONG count = 0;
                LONG lower = 0;
                const std::size_t boundAt = at + layout::kArrayFirstBoundOffset + d * layout::kArrayBoundSize;
                if (!layout::ReadLE(b, boundAt, count) || !layout::ReadLE(b, boundAt + 4, lower)) return s;
                item.bounds.emplace_back(count, lower);
                elements *= count;
            }
            at += layout::kArrayDescriptorSize + (boundCount - 1) * layout::kArrayBoundSize;
            const std::size_t dataSize = elements * elementSize;
            if (!layout::Fits(bytes.size(), at, dataSize)) return s;
            item.arrayData.assign(bytes.begin() + at, bytes.begin() + at + dataSize);
        }
        s.items.push_back(std::move(item));
    }
    s.ok = true;
    return s;
}

ParsedStream ParseWriteStream(const std::vector<std::uint8_t>& bytes) {
    ParsedStream s;
    std::span<const std::uint8_t> b(bytes);
    if (!layout::ReadLE(b, layout::kWriteItemCountOffset, s.count) ||
        !layout::ReadLE(b, layout::kWriteClientHandleOffset, s.group) ||
        !layout::ReadLE(b, layout::kWriteTransactionOffset, s.transactionId) ||
        !layout::ReadLE(b, layout::kWriteStatusOffset, s.status))
        return s;
    if (s.count > bytes.size()) return s;
    for (DWORD i = 0; i < s.count; ++i) {
        OPCHANDLE handle = 0;
        HRESULT error = 0;
        const std::size_t at = layout::WriteRecordOffset(i);
        if (!layout::ReadLE(b, at + layout::kWriteRecordClientOffset, handle) ||
            !layout::ReadLE(b, at + layout::kWriteRecordErrorOffset, error))
            return s;
        s.writes.emplace_back(handle, error);
    }
    s.ok = true;
    return s;
}

CLIPFORMAT Cf(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormat(name)); }

// --- GroupTest -------------------------------------------------------------------------

void GroupTest::SetUp() {
    config = std::make_shared<SimConfig>();
    config->loadTagCount = 0;
    MakeTable();
}

void GroupTest::TearDown() {
    if (table) table->RemoveAll();
    table.reset();
}

void GroupTest::MakeTable() {
    if (table) table->RemoveAll();
    GroupServices services;
    services.addressSpace = std::make_shared<AddressSpace>(*config);
    services.config = config;
    table = GroupTable::Create(services);
}

std::vector<OPCHANDLE> GroupTest::AddItems(IUnknown* group, const std::vector<std::u16string>& ids,
                                           std::vector<HRESULT>* errors, VARTYPE requested, bool active,
                                           OPCHANDLE firstClientHandle) {
    ComPtr<IOPCItemMgt> mgt = ComPtr<IUnknown>(group).As<IOPCItemMgt>();
    std::vector<std::u16string> copies = ids;
    std::vector<OPCITEMDEF> defs(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        defs[i].szItemID = copies[i].data();
        defs[i].bActive = active ? TRUE : FALSE;
        defs[i].hClient = firstClientHandle + static_cast<OPCHANDLE>(i);
        defs[i].vtRequestedDataType = requested;
    }
    TaskArray<OPCITEMRESULT> results;
    TaskArray<HRESULT> errs;
    const HRESULT hr = mgt->AddItems(static_cast<DWORD>(defs.size()), defs.data(), results.put(), errs.put());
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    std::vector<OPCHANDLE> handles(ids.size(), 0);
    if (errors) errors->assign(ids.size(), hr);
    if (FAILED(hr)) return handles;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (errors) (*errors)[i] = errs[i];
        if (SUCCEEDED(errs[i])) handles[i] = results[i].hServer;
    }
    return handles;
}

DWORD GroupTest::AdviseCallback(IUnknown* group, const ComPtr<DataCallbackSink>& sink) {
    ComPtr<IConnectionPointContainer> container = ComPtr<IUnknown>(group).As<IConnectionPointContainer>();
    EXPECT_TRUE(container);
    if (!container) return 0;
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, point.put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IOPCDataCallback*>(sink.get()), &cookie), S_OK);
    return cookie;
}

void ExpectValue(const VARIANT& actual, const VARIANT& expected) {
    EXPECT_EQ(actual.vt, expected.vt);
    EXPECT_TRUE(VariantsEqual(actual, expected)) << "vt " << actual.vt;
}

}  // namespace simserver::test
