// IOPCAsyncIO (1.0) and IOPCAsyncIO2 (2.0) of the group object. The calls check their items
// and queue a transaction; the completion is sent from a server thread (async_requests.cpp).
// 1.0 transactions get a server-chosen transaction id and report to the named advice; 2.0
// transactions carry the client's transaction id and get a server-chosen cancel id.
#include "simserver/group_object.h"
#include "simserver/group_values.h"

namespace simserver {

namespace {

bool IsDataSource(OPCDATASOURCE source) { return source == OPC_DS_CACHE || source == OPC_DS_DEVICE; }

bool HasActiveItems(const GroupCore& core) {
    for (const GroupItem& item : core.items)
        if (item.Subscribed()) return true;
    return false;
}

}  // namespace

HRESULT Group::CheckAsyncItems(DWORD count, const OPCHANDLE* handles, bool write, std::vector<OPCHANDLE>* valid,
                               std::vector<std::size_t>* positions, HRESULT** ppErrors) {
    CoTaskMemPtr<HRESULT> errors(CoTaskMemAllocArray<HRESULT>(count));
    if (!errors) return E_OUTOFMEMORY;
    bool anyFailed = false;
    const DWORD needed = write ? OPC_WRITEABLE : OPC_READABLE;
    for (DWORD i = 0; i < count; ++i) {
        GroupItem* item = core_->FindItemLocked(handles[i]);
        HRESULT hr = !item ? OPC_E_INVALIDHANDLE : !(item->tag->AccessRights() & needed) ? OPC_E_BADRIGHTS : S_OK;
        errors.get()[i] = hr;
        if (FAILED(hr)) {
            anyFailed = true;
            continue;
        }
        valid->push_back(handles[i]);
        positions->push_back(i);
    }
    *ppErrors = errors.release();
    return anyFailed ? S_FALSE : S_OK;
}

// --- IOPCAsyncIO ---------------------------------------------------------------------

HRESULT Group::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                    DWORD* pTransactionID, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors || !pTransactionID) return E_POINTER;
    *pTransactionID = 0;
    if (dwCount == 0 || !phServer || !IsDataSource(dwSource)) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    const Advice10* advice = core_->FindAdviceLocked(dwConnection);
    if (!advice || advice->format == AdviseFormat::WriteComplete) return CONNECT_E_NOCONNECTION;

    AsyncRequest request;
    std::vector<std::size_t> positions;
    const HRESULT hr = CheckAsyncItems(dwCount, phServer, false, &request.serverHandles, &positions, ppErrors);
    if (FAILED(hr) || request.serverHandles.empty()) return hr;
    request.kind = AsyncKind::Read;
    request.transactionId = request.cancelId = core_->NextTransactionId();
    request.connection = dwConnection;
    request.source = dwSource;
    *pTransactionID = request.transactionId;
    core_->QueueLocked(std::move(request));
    return hr;
}

HRESULT Group::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                     DWORD* pTransactionID, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors || !pTransactionID) return E_POINTER;
    *pTransactionID = 0;
    if (dwCount == 0 || !phServer || !pItemValues) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    const Advice10* advice = core_->FindAdviceLocked(dwConnection);
    if (!advice || advice->format != AdviseFormat::WriteComplete) return CONNECT_E_NOCONNECTION;

    AsyncRequest request;
    std::vector<std::size_t> positions;
    const HRESULT hr = CheckAsyncItems(dwCount, phServer, true, &request.serverHandles, &positions, ppErrors);
    if (FAILED(hr) || request.serverHandles.empty()) return hr;
    for (std::size_t i : positions) request.values.emplace_back(pItemValues[i]);
    request.kind = AsyncKind::Write;
    request.transactionId = request.cancelId = core_->NextTransactionId();
    request.connection = dwConnection;
    *pTransactionID = request.transactionId;
    core_->QueueLocked(std::move(request));
    return hr;
}

HRESULT Group::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
    if (!pTransactionID) return E_POINTER;
    *pTransactionID = 0;
    if (!IsDataSource(dwSource)) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    const Advice10* advice = core_->FindAdviceLocked(dwConnection);
    if (!advice || advice->format == AdviseFormat::WriteComplete) return CONNECT_E_NOCONNECTION;
    return QueueRefresh(false, dwConnection, dwSource, 0, pTransactionID);
}

HRESULT Group::Cancel(DWORD dwTransactionID) {
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    return core_->CancelLocked(dwTransactionID, false) ? S_OK : E_FAIL;
}

// Under the mutex. Refreshes send every active item of an active group; there must be one.
HRESULT Group::QueueRefresh(bool v2, DWORD connection, OPCDATASOURCE source, DWORD transactionId, DWORD* pId) {
    if (!core_->active || !HasActiveItems(*core_)) return E_FAIL;
    AsyncRequest request;
    request.kind = AsyncKind::Refresh;
    request.v2 = v2;
    request.connection = connection;
    request.source = source;
    request.cancelId = core_->NextTransactionId();
    request.transactionId = v2 ? transactionId : request.cancelId;
    *pId = request.cancelId;
    core_->QueueLocked(std::move(request));
    return S_OK;
}

// --- IOPCAsyncIO2 --------------------------------------------------------------------

HRESULT Group::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors || !pdwCancelID) return E_POINTER;
    *pdwCancelID = 0;
    if (dwCount == 0 || !phServer) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (!core_->HasDataCallbackLocked()) return CONNECT_E_NOCONNECTION;

    AsyncRequest request;
    std::vector<std::size_t> positions;
    const HRESULT hr = CheckAsyncItems(dwCount, phServer, false, &request.serverHandles, &positions, ppErrors);
    if (FAILED(hr) || request.serverHandles.empty()) return hr;
    request.kind = AsyncKind::Read;
    request.v2 = true;
    request.transactionId = dwTransactionID;
    request.cancelId = core_->NextTransactionId();
    request.source = OPC_DS_DEVICE;  // 2.0 reads always go to the device
    *pdwCancelID = request.cancelId;
    core_->QueueLocked(std::move(request));
    return hr;
}

HRESULT Group::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                     DWORD* pdwCancelID, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors || !pdwCancelID) return E_POINTER;
    *pdwCancelID = 0;
    if (dwCount == 0 || !phServer || !pItemValues) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (!core_->HasDataCallbackLocked()) return CONNECT_E_NOCONNECTION;

    AsyncRequest request;
    std::vector<std::size_t> positions;
    const HRESULT hr = CheckAsyncItems(dwCount, phServer, true, &request.serverHandles, &positions, ppErrors);
    if (FAILED(hr) || request.serverHandles.empty()) return hr;
    for (std::size_t i : positions) request.values.emplace_back(pItemValues[i]);
    request.kind = AsyncKind::Write;
    request.v2 = true;
    request.transactionId = dwTransactionID;
    request.cancelId = core_->NextTransactionId();
    *pdwCancelID = request.cancelId;
    core_->QueueLocked(std::move(request));
    return hr;
}

HRESULT Group::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
    if (!pdwCancelID) return E_POINTER;
    *pdwCancelID = 0;
    if (!IsDataSource(dwSource)) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (!core_->HasDataCallbackLocked()) return CONNECT_E_NOCONNECTION;
    return QueueRefresh(true, 0, dwSource, dwTransactionID, pdwCancelID);
}

HRESULT Group::Cancel2(DWORD dwCancelID) {
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    return core_->CancelLocked(dwCancelID, true) ? S_OK : E_FAIL;
}

HRESULT Group::SetEnable(BOOL bEnable) {
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (!core_->HasDataCallbackLocked()) return CONNECT_E_NOCONNECTION;
    core_->callbacksEnabled = bEnable != FALSE;
    return S_OK;
}

HRESULT Group::GetEnable(BOOL* pbEnable) {
    if (!pbEnable) return E_POINTER;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (!core_->HasDataCallbackLocked()) return CONNECT_E_NOCONNECTION;
    *pbEnable = core_->callbacksEnabled ? TRUE : FALSE;
    return S_OK;
}

}  // namespace simserver
