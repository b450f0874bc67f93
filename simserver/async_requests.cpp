// Completion of the queued asynchronous transactions on a server thread, one at a time per
// group: the values are taken under the group's mutex, the client is called without it.
#include "platform/com/filetime.h"
#include "simserver/group_core.h"

namespace simserver {

bool GroupCore::ProcessOneRequest() {
    AsyncRequest request;
    OPCHANDLE group = 0;
    ItemValues values;
    std::vector<OPCHANDLE> writeHandles;
    std::vector<HRESULT> writeErrors;
    std::vector<Advice10> streamTargets;
    {
        std::lock_guard lock(mutex);
        if (shutdown || pending_.empty()) return false;
        request = std::move(pending_.front());
        pending_.pop_front();
        group = clientGroup;
        const FILETIME now = FileTimeNow();

        switch (request.kind) {
        case AsyncKind::Read:
            // Items removed since the call are left out.
            for (OPCHANDLE handle : request.serverHandles) {
                GroupItem* item = FindItemLocked(handle);
                if (!item) continue;
                values.Add(item->clientHandle,
                           request.source == OPC_DS_CACHE ? SampleCacheLocked(*item, now) : SampleDevice(*item, now));
            }
            break;
        case AsyncKind::Refresh:
            if (active) {
                for (GroupItem& item : items) {
                    if (!item.Subscribed()) continue;
                    values.Add(item.clientHandle,
                               request.source == OPC_DS_CACHE ? SampleCacheLocked(item, now) : SampleDevice(item, now));
                }
            }
            break;
        case AsyncKind::Write:
            for (std::size_t i = 0; i < request.serverHandles.size(); ++i) {
                GroupItem* item = FindItemLocked(request.serverHandles[i]);
                if (!item) continue;
                writeHandles.push_back(item->clientHandle);
                writeErrors.push_back(item->tag->Write(*request.values[i]));
            }
            break;
        case AsyncKind::CancelComplete: break;
        }
        if (!request.v2) streamTargets = StreamTargetsLocked(request.connection, request.kind != AsyncKind::Write);
    }
    DeliverCompletion(request, group, values, writeHandles, writeErrors, streamTargets);
    return true;
}

void GroupCore::DeliverCompletion(const AsyncRequest& request, OPCHANDLE group, ItemValues& values,
                                  const std::vector<OPCHANDLE>& writeHandles, const std::vector<HRESULT>& writeErrors,
                                  const std::vector<Advice10>& streamTargets) {
    const DWORD tid = request.transactionId;
    if (!request.v2) {
        if (request.kind == AsyncKind::Write)
            SendWriteCompleteStreams(streamTargets, group, tid, writeHandles, writeErrors);
        else if (request.kind != AsyncKind::CancelComplete)
            SendDataStreams(streamTargets, group, tid, values.MasterError(), values);
        return;
    }
    if (request.kind == AsyncKind::Refresh) {
        if (values.size() != 0) DeliverDataChange(tid, values, true, {});
        return;
    }
    for (const ComPtr<IOPCDataCallback>& sink : dataCallback.SinksAs<IOPCDataCallback>()) {
        try {
            switch (request.kind) {
            case AsyncKind::Read:
                sink->OnReadComplete(tid, group, values.MasterQuality(), values.MasterError(),
                                     static_cast<DWORD>(values.size()), values.clientHandles.data(),
                                     values.values.data(), values.qualities.data(), values.timestamps.data(),
                                     values.errors.data());
                break;
            case AsyncKind::Write: {
                HRESULT master = S_OK;
                for (HRESULT e : writeErrors)
                    if (e != S_OK) master = S_FALSE;
                sink->OnWriteComplete(tid, group, master, static_cast<DWORD>(writeHandles.size()),
                                      const_cast<OPCHANDLE*>(writeHandles.data()),
                                      const_cast<HRESULT*>(writeErrors.data()));
                break;
            }
            case AsyncKind::CancelComplete: sink->OnCancelComplete(tid, group); break;
            case AsyncKind::Refresh: break;
            }
        } catch (...) {
            // A client's exception must not end the server thread.
        }
    }
}

}  // namespace simserver
