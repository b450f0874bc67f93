// The group's explicit traffic with the server: synchronous and asynchronous reads,
// refreshes and writes. Each does nothing, and reports nothing, unless the server is
// connected and the group holds the interface it needs. Synchronous reads update the items at
// once; the asynchronous operations only start a transaction whose results arrive through
// the sinks.
#include "opc/client/group.h"

#include "opc/client/item.h"
#include "opc/client/server.h"
#include "opc/client/write_text.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "platform/shell/shell.h"
#include "platform/time/tick.h"

#include <string>
#include <vector>

namespace {

// The messages of one operation: its success report and its per-item (or call) failure.
using ItemFailure = EventMessage<const char*, const char*, unsigned>;  // ItemID, group, HRESULT
struct SyncMessages {
    EventMessage<int, const char*> success;  // items, group
    ItemFailure failure;
};
struct TransactionMessages {
    EventMessage<DWORD, int, const char*> success;  // transaction, items, group
    ItemFailure failure;
};
struct RefreshMessages {
    EventMessage<DWORD, const char*> success;     // transaction, group
    EventMessage<const char*, unsigned> failure;  // group, HRESULT
};
// [fromDevice]
constexpr SyncMessages kSyncRead[2] = {{IDS_SYNC_READ_CACHE_DONE, IDS_SYNC_READ_CACHE_ITEM_FAILED},
                                       {IDS_SYNC_READ_DEVICE_DONE, IDS_SYNC_READ_DEVICE_ITEM_FAILED}};
constexpr TransactionMessages kAsyncRead10[2] = {
    {IDS_ASYNC10_READ_CACHE_STARTED, IDS_ASYNC10_READ_CACHE_ITEM_FAILED},
    {IDS_ASYNC10_READ_DEVICE_STARTED, IDS_ASYNC10_READ_DEVICE_ITEM_FAILED}};
constexpr RefreshMessages kAsyncRefresh10[2] = {
    {IDS_ASYNC10_REFRESH_CACHE_STARTED, IDS_ASYNC10_REFRESH_CACHE_FAILED},
    {IDS_ASYNC10_REFRESH_DEVICE_STARTED, IDS_ASYNC10_REFRESH_DEVICE_FAILED}};
constexpr RefreshMessages kAsyncRefresh20[2] = {
    {IDS_ASYNC20_REFRESH_CACHE_STARTED, IDS_ASYNC20_REFRESH_CACHE_FAILED},
    {IDS_ASYNC20_REFRESH_DEVICE_STARTED, IDS_ASYNC20_REFRESH_DEVICE_FAILED}};
constexpr TransactionMessages kAsyncRead20{IDS_ASYNC20_READ_STARTED, IDS_ASYNC20_READ_ITEM_FAILED};
constexpr SyncMessages kSyncWrite{IDS_SYNC_WRITE_DONE, IDS_SYNC_WRITE_ITEM_FAILED};
constexpr TransactionMessages kAsyncWrite10{IDS_ASYNC10_WRITE_STARTED, IDS_ASYNC10_WRITE_ITEM_FAILED};
constexpr TransactionMessages kAsyncWrite20{IDS_ASYNC20_WRITE_STARTED, IDS_ASYNC20_WRITE_ITEM_FAILED};

OPCDATASOURCE Source(bool fromDevice) { return fromDevice ? OPC_DS_DEVICE : OPC_DS_CACHE; }

// An item succeeded when the call did, an error array came back and its entry is not
// negative. Reports each failed item with `failure` (ItemID, group name, the item's error
// when negative, else the call's HRESULT) and returns the number that succeeded.
int ReportItemResults(CVServer* server, const std::vector<CVItem*>& items, HRESULT hr, const HRESULT* errors,
                      ItemFailure failure, const std::string& group) {
    int succeeded = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (SUCCEEDED(hr) && errors && SUCCEEDED(errors[i])) {
            ++succeeded;
            continue;
        }
        const HRESULT reported = errors && FAILED(errors[i]) ? errors[i] : hr;
        ReportServerError(server, failure, items[i]->itemId.c_str(), group.c_str(), HrBits(reported));
    }
    return succeeded;
}

std::vector<CVItem*> ItemList(CVItem* const* items, int count) {
    if (!items || count <= 0) return {};
    return {items, items + count};
}

// The values of a write, mapped from the texts; items whose text cannot be mapped are
// reported (16028) and left out. The values are freed after the call.
class WriteBatch {
public:
    WriteBatch(CVItem* const* items, const std::string* texts, int count) {
        for (int i = 0; items && texts && i < count; ++i) {
            CVItem* item = items[i];
            Variant current;
            VARTYPE dataType = VT_EMPTY;
            item->GetValueAndDataType(current.get(), &dataType);
            VARIANT value;
            if (!WriteValueFromText(texts[i], *current, dataType, value)) {
                LogEvent(IDS_UNMAPPABLE_WRITE, item->itemId.c_str());
                continue;
            }
            values_.Adopt(value);
            items_.push_back(item);
        }
    }

    const std::vector<CVItem*>& items() const { return items_; }
    DWORD size() const { return static_cast<DWORD>(items_.size()); }
    VARIANT* values() { return values_.data(); }

private:
    std::vector<CVItem*> items_;
    VariantArray values_;
};

// What a write returns: the call's failure, the first item's error, or a text that
// could not be mapped.
HRESULT WriteOutcome(const WriteBatch& batch, int requested, HRESULT hr, const HRESULT* errors) {
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; errors && i < batch.size(); ++i)
        if (FAILED(errors[i])) return errors[i];
    if (static_cast<int>(batch.size()) < requested) return DISP_E_TYPEMISMATCH;
    return errors || batch.size() == 0 ? S_OK : E_FAIL;
}

}  // namespace

void CVGroup::SyncRead(CVItem* const* items, int count, bool fromDevice) {
    const ComPtr<IOPCSyncIO> io = SyncIO();
    if (!IsServerConnected() || !io) return;
    const std::vector<CVItem*> list = ItemList(items, count);
    std::vector<OPCHANDLE> handles = ServerHandles(list.data(), list.size());

    TaskMemArray<OPCITEMSTATE> states([](OPCITEMSTATE& state) { VariantClear(&state.vDataValue); });
    TaskMemArray<HRESULT> errors;
    const HRESULT hr =
        io->Read(Source(fromDevice), static_cast<DWORD>(list.size()), handles.data(), states.put(), errors.put());
    states.SetFilled(list.size());
    const std::string name = Name();
    const SyncMessages& m = kSyncRead[fromDevice];
    const int succeeded = ReportItemResults(server, list, hr, errors.get(), m.failure, name);
    // Every item takes the state the server returned for it, failed or not.
    if (states)
        for (std::size_t i = 0; i < list.size(); ++i)
            list[i]->SetValueWithTimestamp(states[i].vDataValue, states[i].wQuality, states[i].ftTimeStamp);
    if (succeeded > 0) LogEvent(m.success, succeeded, name.c_str());
}

void CVGroup::AsyncRead10(CVItem* const* items, int count, bool fromDevice) {
    const ComPtr<IOPCAsyncIO> io = AsyncIO();
    if (!IsServerConnected() || !io) return;
    const std::vector<CVItem*> list = ItemList(items, count);
    std::vector<OPCHANDLE> handles = ServerHandles(list.data(), list.size());

    DWORD transaction = 0;
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = io->Read(DataConnection(), Source(fromDevice), static_cast<DWORD>(list.size()), handles.data(),
                                &transaction, errors.put());
    const std::string name = Name();
    const TransactionMessages& m = kAsyncRead10[fromDevice];
    const int succeeded = ReportItemResults(server, list, hr, errors.get(), m.failure, name);
    if (succeeded > 0) LogEvent(m.success, transaction, succeeded, name.c_str());
}

void CVGroup::AsyncRefresh10(bool fromDevice) {
    const ComPtr<IOPCAsyncIO> io = AsyncIO();
    if (!IsServerConnected() || !io) return;
    // Made even when the group has no items (the group's check thread relies on the answer).
    DWORD transaction = 0;
    const HRESULT hr = io->Refresh(DataConnection(), Source(fromDevice), &transaction);
    const std::string name = Name();
    const RefreshMessages& m = kAsyncRefresh10[fromDevice];
    if (FAILED(hr))
        ReportServerError(server, m.failure, name.c_str(), HrBits(hr));
    else
        LogEvent(m.success, transaction, name.c_str());
}

void CVGroup::AsyncRead20(CVItem* const* items, int count) {
    const ComPtr<IOPCAsyncIO2> io = AsyncIO2();
    if (!IsServerConnected() || !io) return;
    const DWORD transaction = GetTickCount();
    const std::vector<CVItem*> list = ItemList(items, count);
    std::vector<OPCHANDLE> handles = ServerHandles(list.data(), list.size());

    DWORD cancelId = 0;
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = io->Read(static_cast<DWORD>(list.size()), handles.data(), transaction, &cancelId, errors.put());
    const std::string name = Name();
    const int succeeded = ReportItemResults(server, list, hr, errors.get(), kAsyncRead20.failure, name);
    if (succeeded > 0) LogEvent(kAsyncRead20.success, transaction, succeeded, name.c_str());
}

void CVGroup::AsyncRefresh20(bool fromDevice) {
    const ComPtr<IOPCAsyncIO2> io = AsyncIO2();
    if (!IsServerConnected() || !io || ItemCount() == 0) return;
    const DWORD transaction = GetTickCount();
    DWORD cancelId = 0;
    const HRESULT hr = io->Refresh2(Source(fromDevice), transaction, &cancelId);
    const std::string name = Name();
    const RefreshMessages& m = kAsyncRefresh20[fromDevice];
    if (FAILED(hr))
        ReportServerError(server, m.failure, name.c_str(), HrBits(hr));
    else
        LogEvent(m.success, transaction, name.c_str());
}

HRESULT CVGroup::SyncWrite(CVItem* const* items, const std::string* texts, int count) {
    const ComPtr<IOPCSyncIO> io = SyncIO();
    if (!IsServerConnected()) return CONNECT_E_NOCONNECTION;
    if (!io) return E_NOINTERFACE;
    WriteBatch batch(items, texts, count);
    std::vector<OPCHANDLE> handles = ServerHandles(batch.items().data(), batch.items().size());

    TaskMemArray<HRESULT> errors;
    const HRESULT hr = io->Write(batch.size(), handles.data(), batch.values(), errors.put());
    const std::string name = Name();
    const int succeeded = ReportItemResults(server, batch.items(), hr, errors.get(), kSyncWrite.failure, name);
    if (succeeded > 0) LogEvent(kSyncWrite.success, succeeded, name.c_str());
    return WriteOutcome(batch, count, hr, errors.get());
}

HRESULT CVGroup::AsyncWrite10(CVItem* const* items, const std::string* texts, int count) {
    const ComPtr<IOPCAsyncIO> io = AsyncIO();
    if (!IsServerConnected()) return CONNECT_E_NOCONNECTION;
    if (!io) return E_NOINTERFACE;
    WriteBatch batch(items, texts, count);
    std::vector<OPCHANDLE> handles = ServerHandles(batch.items().data(), batch.items().size());

    // In a group subscribed through 2.0 the write connection is 0; it is passed as it is and
    // the server's answer reported.
    DWORD transaction = 0;
    TaskMemArray<HRESULT> errors;
    const HRESULT hr =
        io->Write(WriteConnection(), batch.size(), handles.data(), batch.values(), &transaction, errors.put());
    const std::string name = Name();
    const int succeeded = ReportItemResults(server, batch.items(), hr, errors.get(), kAsyncWrite10.failure, name);
    if (succeeded > 0) LogEvent(kAsyncWrite10.success, transaction, succeeded, name.c_str());
    return WriteOutcome(batch, count, hr, errors.get());
}

HRESULT CVGroup::AsyncWrite20(CVItem* const* items, const std::string* texts, int count) {
    const ComPtr<IOPCAsyncIO2> io = AsyncIO2();
    if (!IsServerConnected()) return CONNECT_E_NOCONNECTION;
    if (!io) return E_NOINTERFACE;
    const DWORD transaction = GetTickCount();
    WriteBatch batch(items, texts, count);
    std::vector<OPCHANDLE> handles = ServerHandles(batch.items().data(), batch.items().size());

    DWORD cancelId = 0;
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = io->Write(batch.size(), handles.data(), batch.values(), transaction, &cancelId, errors.put());
    const std::string name = Name();
    const int succeeded = ReportItemResults(server, batch.items(), hr, errors.get(), kAsyncWrite20.failure, name);
    if (succeeded > 0) LogEvent(kAsyncWrite20.success, transaction, succeeded, name.c_str());
    return WriteOutcome(batch, count, hr, errors.get());
}
