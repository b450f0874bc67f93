#include "simserver/group_core.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/com/clipboard_format.h"
#include "platform/com/filetime.h"
#include "simserver/address_space.h"
#include "simserver/group_values.h"
#include "simserver/stream10.h"

namespace simserver {

namespace {

using std::chrono::milliseconds;
constexpr auto kNever = SchedulerClock::time_point::max();

}  // namespace

OPCHANDLE NextItemHandle() {
    static std::atomic<OPCHANDLE> next{1};
    OPCHANDLE h = next.fetch_add(1);
    return h ? h : next.fetch_add(1);
}

// --- ItemValues -----------------------------------------------------------------------

void ItemValues::Reserve(std::size_t count) {
    clientHandles.reserve(count);
    values.reserve(count);
    qualities.reserve(count);
    timestamps.reserve(count);
    errors.reserve(count);
}

void ItemValues::Add(OPCHANDLE clientHandle, ItemSample&& sample) {
    clientHandles.push_back(clientHandle);
    values.push_back(sample.value.release());
    qualities.push_back(sample.quality);
    timestamps.push_back(sample.timestamp);
    errors.push_back(sample.error);
}

void ItemValues::Clear() {
    for (VARIANT& v : values) VariantClear(&v);
    clientHandles.clear();
    values.clear();
    qualities.clear();
    timestamps.clear();
    errors.clear();
}

HRESULT ItemValues::MasterQuality() const {
    for (WORD q : qualities)
        if ((q & OPC_QUALITY_MASK) != OPC_QUALITY_GOOD) return S_FALSE;
    return S_OK;
}

HRESULT ItemValues::MasterError() const {
    for (HRESULT e : errors)
        if (e != S_OK) return S_FALSE;
    return S_OK;
}

// --- GroupCore ------------------------------------------------------------------------

GroupCore::GroupCore(const GroupServices& groupServices, IConnectionPointContainer* container)
    : services(groupServices),
      dataCallback(container, IID_IOPCDataCallback),
      scheduler_(groupServices.scheduler ? groupServices.scheduler : SubscriptionScheduler::Shared()) {}

GroupCore::~GroupCore() = default;

void GroupCore::Start() {
    scheduleId_ = scheduler_->Add(weak_from_this(), kNever);
    std::lock_guard lock(mutex);
    if (active) UpdateSoonLocked();
}

void GroupCore::Shutdown() {
    {
        std::lock_guard lock(mutex);
        if (shutdown) return;
        shutdown = true;
        pending_.clear();
    }
    scheduler_->Remove(scheduleId_);
    std::vector<Advice10> advicesToRelease;
    {
        std::lock_guard lock(mutex);
        advicesToRelease.swap(advices);
    }
    dataCallback.UnadviseAll();
    // advicesToRelease releases the 1.0 sinks here, outside the mutex.
}

DWORD GroupCore::NextTransactionId() {
    // Process-wide, never 0 (0 marks a subscription update in the 1.0 streams).
    static std::atomic<DWORD> next{1};
    DWORD id = next.fetch_add(1);
    return id ? id : next.fetch_add(1);
}

GroupItem* GroupCore::FindItemLocked(OPCHANDLE handle) {
    auto it = std::lower_bound(items.begin(), items.end(), handle,
                               [](const GroupItem& item, OPCHANDLE h) { return item.serverHandle < h; });
    return it != items.end() && it->serverHandle == handle ? &*it : nullptr;
}

ItemSample GroupCore::SampleDevice(const GroupItem& item, FILETIME now) {
    ItemSample s;
    item.tag->Read(now, s.value.get(), &s.quality, &s.timestamp);
    s.error = ConvertToRequested(s.value.get(), item.requestedType);
    if (FAILED(s.error)) s.quality = OPC_QUALITY_BAD;
    return s;
}

ItemSample GroupCore::SampleCacheLocked(GroupItem& item, FILETIME now) {
    if (active && item.active && !item.sampled) {
        // Asked before the first update: the cache is filled now; the update still sends it.
        ItemSample first = SampleDevice(item, now);
        item.tagVersion = item.tag->Version(now);
        item.value = first.value;
        item.quality = first.quality;
        item.timestamp = first.timestamp;
        item.error = first.error;
        item.sampled = true;
    }
    ItemSample s;
    s.value = item.value;
    s.quality = item.quality;
    s.timestamp = item.timestamp;
    s.error = item.error;
    if (!active || !item.active) s.quality = OPC_QUALITY_OUT_OF_SERVICE;
    return s;
}

void GroupCore::UpdateSoonLocked() {
    if (shutdown || !active || !scheduleId_) return;
    nextUpdate_ = SchedulerClock::now();
    scheduler_->Wake(scheduleId_);
}

void GroupCore::QueueLocked(AsyncRequest request) {
    pending_.push_back(std::move(request));
    if (scheduleId_) scheduler_->Wake(scheduleId_);
}

bool GroupCore::CancelLocked(DWORD cancelId, bool v2) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const AsyncRequest& r) {
        return r.kind != AsyncKind::CancelComplete && r.v2 == v2 && r.cancelId == cancelId;
    });
    if (it == pending_.end()) return false;
    if (v2) {
        // The cancel is confirmed on a server thread, in the transaction's place.
        it->kind = AsyncKind::CancelComplete;
        it->serverHandles.clear();
        it->values.clear();
    } else {
        pending_.erase(it);
    }
    return true;
}

const Advice10* GroupCore::FindAdviceLocked(DWORD connection) const {
    for (const Advice10& a : advices)
        if (a.connection == connection) return &a;
    return nullptr;
}

std::vector<Advice10> GroupCore::StreamTargetsLocked(DWORD connection, bool dataStreams) const {
    std::vector<Advice10> targets;
    for (const Advice10& a : advices) {
        const bool isData = a.format != AdviseFormat::WriteComplete;
        if (isData != dataStreams) continue;
        if (connection == 0 || a.connection == connection) targets.push_back(a);
    }
    return targets;
}

SchedulerClock::time_point GroupCore::RunDue(SchedulerClock::time_point now) {
    while (ProcessOneRequest()) {}
    bool due = false;
    {
        std::lock_guard lock(mutex);
        if (shutdown) return kNever;
        if (!active) return pending_.empty() ? kNever : now;
        due = now >= nextUpdate_;
    }
    if (due) Update(now);

    std::lock_guard lock(mutex);
    if (shutdown) return kNever;
    if (!pending_.empty()) return SchedulerClock::now();
    return active ? nextUpdate_ : kNever;
}

// One subscription update: samples every active item whose tag may have changed, keeps what
// changed (beyond the deadband for analog items) in the cache and sends it.
void GroupCore::Update(SchedulerClock::time_point now) {
    ItemValues changes;
    std::vector<Advice10> streamTargets;
    {
        std::lock_guard lock(mutex);
        if (shutdown || !active) return;
        // Fixed rate: a late update is followed by the next one on the original beat, so the
        // rate holds on average; only after falling more than a period behind is the beat reset.
        const auto period = milliseconds(updateRate);
        nextUpdate_ = nextUpdate_ == kNever ? now + period : nextUpdate_ + period;
        if (nextUpdate_ + period < now) nextUpdate_ = now + period;

        // With nobody to tell, the cache is still kept, but no values are copied out.
        streamTargets = StreamTargetsLocked(0, true);
        const bool deliver = (callbacksEnabled && dataCallback.HasSinks()) || !streamTargets.empty();
        const FILETIME ftNow = FileTimeNow();
        const double percent = percentDeadband;
        if (deliver) changes.Reserve(items.size());
        for (GroupItem& item : items) {
            if (!item.Subscribed()) continue;
            const std::uint64_t version = item.tag->Version(ftNow);
            if (item.sampled && !item.sendNext && version == item.tagVersion) continue;
            ItemSample s = SampleDevice(item, ftNow);
            item.tagVersion = version;
            if (item.sampled && !item.sendNext && s.quality == item.quality && s.error == item.error) {
                const bool analog = percent > 0 && item.tag->EuType() == OPC_ANALOG;
                const bool changed = analog
                                         ? ExceedsDeadband(*item.value, *s.value,
                                                           percent / 100.0 * (item.tag->EuHigh() - item.tag->EuLow()))
                                         : !VariantsEqual(*item.value, *s.value);
                if (!changed) continue;
            }
            item.value = s.value;
            item.quality = s.quality;
            item.timestamp = s.timestamp;
            item.error = s.error;
            item.sampled = true;
            item.sendNext = false;
            if (deliver) changes.Add(item.clientHandle, std::move(s));
        }
        if (changes.size() == 0) return;
    }
    DeliverDataChange(0, changes, false, streamTargets);
}

UINT StreamFormat(AdviseFormat format) {
    static const UINT data = RegisterClipboardFormat(OPCSTMFORMATDATA);
    static const UINT dataTime = RegisterClipboardFormat(OPCSTMFORMATDATATIME);
    static const UINT writeComplete = RegisterClipboardFormat(OPCSTMFORMATWRITECOMPLETE);
    switch (format) {
    case AdviseFormat::Data: return data;
    case AdviseFormat::DataTime: return dataTime;
    case AdviseFormat::WriteComplete: return writeComplete;
    }
    return 0;
}

// Hands one encoded stream to one advise sink in a global-memory block that stays ours.
void SendStream(const Advice10& advice, const std::vector<std::uint8_t>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.size());
    if (!block) return;
    if (void* p = GlobalLock(block)) {
        std::memcpy(p, bytes.data(), bytes.size());
        GlobalUnlock(block);
        FORMATETC format;
        format.cfFormat = static_cast<CLIPFORMAT>(StreamFormat(advice.format));
        format.dwAspect = DVASPECT_CONTENT;
        format.lindex = -1;
        format.tymed = TYMED_HGLOBAL;
        STGMEDIUM medium;
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block;
        try {
            advice.sink->OnDataChange(&format, &medium);
        } catch (...) {
            // A client's exception must not end the server thread.
        }
    }
    GlobalFree(block);
}

void SendDataStreams(const std::vector<Advice10>& targets, OPCHANDLE clientGroup, DWORD transactionId, HRESULT status,
                     const ItemValues& values) {
    if (targets.empty()) return;
    std::vector<Stream10Item> items(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        items[i] = Stream10Item{values.clientHandles[i], values.qualities[i], values.timestamps[i], &values.values[i]};
    std::vector<std::uint8_t> plain, timed;
    for (const Advice10& target : targets) {
        const bool withTime = target.format == AdviseFormat::DataTime;
        std::vector<std::uint8_t>& bytes = withTime ? timed : plain;
        if (bytes.empty())
            bytes = EncodeDataStream(withTime ? Stream10Format::DataTime : Stream10Format::Data, clientGroup,
                                     transactionId, status, items);
        SendStream(target, bytes);
    }
}

void SendWriteCompleteStreams(const std::vector<Advice10>& targets, OPCHANDLE clientGroup, DWORD transactionId,
                              const std::vector<OPCHANDLE>& clientHandles, const std::vector<HRESULT>& errors) {
    if (targets.empty()) return;
    std::vector<Stream10WriteResult> results(clientHandles.size());
    HRESULT status = S_OK;
    for (std::size_t i = 0; i < clientHandles.size(); ++i) {
        results[i] = Stream10WriteResult{clientHandles[i], errors[i]};
        if (errors[i] != S_OK) status = S_FALSE;
    }
    const std::vector<std::uint8_t> bytes = EncodeWriteCompleteStream(clientGroup, transactionId, status, results);
    for (const Advice10& target : targets) SendStream(target, bytes);
}

void GroupCore::DeliverDataChange(DWORD transactionId, ItemValues& values, bool refresh,
                                  const std::vector<Advice10>& streamTargets) {
    OPCHANDLE group;
    bool enabled;
    {
        std::lock_guard lock(mutex);
        if (shutdown) return;
        group = clientGroup;
        enabled = callbacksEnabled || refresh;
    }
    if (enabled) {
        for (const ComPtr<IOPCDataCallback>& sink : dataCallback.SinksAs<IOPCDataCallback>()) {
            try {
                sink->OnDataChange(transactionId, group, values.MasterQuality(), values.MasterError(),
                                   static_cast<DWORD>(values.size()), values.clientHandles.data(), values.values.data(),
                                   values.qualities.data(), values.timestamps.data(), values.errors.data());
            } catch (...) {}
        }
    }
    SendDataStreams(streamTargets, group, transactionId, values.MasterError(), values);
}

}  // namespace simserver
