// The state of one group and the work its server threads do: the subscription (sampling the
// tags at the update rate and sending what changed) and the queued asynchronous transactions.
// The group's COM object (simserver/group_object.h) owns the core and works on it under its
// mutex; the scheduler holds it weakly and runs it. Client sinks are only ever called with
// the mutex released.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/da/group_interfaces.h"
#include "platform/com/connection_point.h"
#include "platform/com/data_object.h"
#include "platform/com/variant.h"
#include "simserver/group.h"
#include "simserver/subscription_scheduler.h"
#include "simserver/tag.h"

namespace simserver {

struct GroupItem {
    OPCHANDLE serverHandle = 0;
    OPCHANDLE clientHandle = 0;
    std::u16string itemId;
    std::u16string accessPath;
    Tag* tag = nullptr;
    VARTYPE requestedType = VT_EMPTY;  // VT_EMPTY: the canonical type
    bool active = false;

    // The cache: what the subscription last took for the item (in the requested type).
    Variant value;
    WORD quality = OPC_QUALITY_BAD | OPC_QUALITY_WAITING_FOR_INITIAL_DATA;
    FILETIME timestamp;
    HRESULT error = S_OK;
    bool sampled = false;
    std::uint64_t tagVersion = 0;  // the tag's version when last sampled
    bool sendNext = true;          // the next update sends the item whatever it holds

    // Write-only items are left out of updates and refreshes.
    bool Subscribed() const { return active && (tag->AccessRights() & OPC_READABLE); }
};

// Item server handles are unique in the process, so a handle of another group is never
// taken for one of this group's items.
OPCHANDLE NextItemHandle();

// One reading of an item, ready to be handed out.
struct ItemSample {
    Variant value;
    WORD quality = OPC_QUALITY_BAD;
    FILETIME timestamp;
    HRESULT error = S_OK;
};

// The parallel arrays of one callback; owns the VARIANTs.
struct ItemValues {
    std::vector<OPCHANDLE> clientHandles;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> timestamps;
    std::vector<HRESULT> errors;

    ItemValues() = default;
    ItemValues(const ItemValues&) = delete;
    ItemValues& operator=(const ItemValues&) = delete;
    ~ItemValues() { Clear(); }
    std::size_t size() const { return clientHandles.size(); }
    void Reserve(std::size_t count);
    void Add(OPCHANDLE clientHandle, ItemSample&& sample);
    void Clear();
    // S_OK when every quality is GOOD / every error S_OK, else S_FALSE.
    HRESULT MasterQuality() const;
    HRESULT MasterError() const;
};

enum class AsyncKind { Read, Write, Refresh, CancelComplete };

// A transaction queued by IOPCAsyncIO or IOPCAsyncIO2, completed on a server thread.
struct AsyncRequest {
    AsyncKind kind = AsyncKind::Read;
    bool v2 = false;
    DWORD transactionId = 0;  // what the completion carries
    DWORD cancelId = 0;       // what Cancel / Cancel2 name
    DWORD connection = 0;     // the 1.0 advice the completion goes to
    OPCDATASOURCE source = OPC_DS_DEVICE;
    std::vector<OPCHANDLE> serverHandles;  // reads and writes
    std::vector<Variant> values;           // writes
};

enum class AdviseFormat { Data, DataTime, WriteComplete };

struct Advice10 {
    DWORD connection = 0;
    AdviseFormat format = AdviseFormat::Data;
    ComPtr<IAdviseSink> sink;
};

// Delivery of the 1.0 streams: each target advice gets its format, in a global-memory block
// that is freed when the sink returns.
UINT StreamFormat(AdviseFormat format);
void SendStream(const Advice10& advice, const std::vector<std::uint8_t>& bytes);
void SendDataStreams(const std::vector<Advice10>& targets, OPCHANDLE clientGroup, DWORD transactionId, HRESULT status,
                     const ItemValues& values);
void SendWriteCompleteStreams(const std::vector<Advice10>& targets, OPCHANDLE clientGroup, DWORD transactionId,
                              const std::vector<OPCHANDLE>& clientHandles, const std::vector<HRESULT>& errors);

class GroupCore : public ScheduledWork, public std::enable_shared_from_this<GroupCore> {
public:
    GroupCore(const GroupServices& services, IConnectionPointContainer* container);
    ~GroupCore() override;

    // Enters the core in the scheduler; first run as soon as the group is active.
    void Start();
    // Stops all server-thread work for good and drops sinks and advices; waits for a run in
    // progress on another thread. Called without the mutex held.
    void Shutdown();

    SchedulerClock::time_point RunDue(SchedulerClock::time_point now) override;

    // --- used by the COM object under `mutex` ---
    GroupItem* FindItemLocked(OPCHANDLE serverHandle);
    // Reads the tag now in the item's requested type.
    static ItemSample SampleDevice(const GroupItem& item, FILETIME now);
    // The cache as a cache read sees it: out of service when the group or item is inactive.
    ItemSample SampleCacheLocked(GroupItem& item, FILETIME now);
    // Makes the next update come now (new or re-activated items, activation, new rate).
    void UpdateSoonLocked();
    // Queues a transaction and wakes a server thread.
    void QueueLocked(AsyncRequest request);
    // Removes a queued transaction named by its cancel id; false when it is not queued
    // (unknown, or already being completed). A 2.0 cancel is answered by OnCancelComplete.
    bool CancelLocked(DWORD cancelId, bool v2);
    const Advice10* FindAdviceLocked(DWORD connection) const;
    bool HasDataCallbackLocked() const { return !shutdown && dataCallback.HasSinks(); }
    DWORD NextTransactionId();

    std::mutex mutex;
    const GroupServices services;
    ConnectionPoint dataCallback;  // IOPCDataCallback sinks; shares the COM object's count

    // Group state, under `mutex`.
    std::u16string name;
    OPCHANDLE serverHandle = 0;
    OPCHANDLE clientGroup = 0;
    bool active = false;
    DWORD updateRate = kFastestUpdateRate;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0.0f;
    LCID lcid = 0;
    bool isPublic = false;
    bool callbacksEnabled = true;  // IOPCAsyncIO2::SetEnable
    bool shutdown = false;
    std::vector<GroupItem> items;  // in ascending server handle order (the order of adding)
    std::vector<Advice10> advices;
    DWORD nextConnection = 1;

private:
    bool ProcessOneRequest();
    void Update(SchedulerClock::time_point now);
    void DeliverDataChange(DWORD transactionId, ItemValues& values, bool refresh,
                           const std::vector<Advice10>& streamTargets);
    void DeliverCompletion(const AsyncRequest& request, OPCHANDLE group, ItemValues& values,
                           const std::vector<OPCHANDLE>& writeHandles, const std::vector<HRESULT>& writeErrors,
                           const std::vector<Advice10>& streamTargets);
    std::vector<Advice10> StreamTargetsLocked(DWORD connection, bool dataStreams) const;

    SubscriptionScheduler::Id scheduleId_ = 0;
    std::shared_ptr<SubscriptionScheduler> scheduler_;
    SchedulerClock::time_point nextUpdate_ = SchedulerClock::time_point::max();
    std::deque<AsyncRequest> pending_;
};

}  // namespace simserver
