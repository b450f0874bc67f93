// IOPCSyncIO of the group object: reads from the cache or the device and writes, completed
// before the call returns.
#include "platform/com/filetime.h"
#include "simserver/group_object.h"
#include "simserver/group_values.h"

namespace simserver {

HRESULT Group::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                    HRESULT** ppErrors) {
    if (ppItemValues) *ppItemValues = nullptr;
    if (ppErrors) *ppErrors = nullptr;
    if (!ppItemValues || !ppErrors) return E_POINTER;
    if (dwCount == 0 || !phServer) return E_INVALIDARG;
    if (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) return E_INVALIDARG;

    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    CoTaskMemPtr<OPCITEMSTATE> states(CoTaskMemAllocArray<OPCITEMSTATE>(dwCount));
    CoTaskMemPtr<HRESULT> errors(CoTaskMemAllocArray<HRESULT>(dwCount));
    if (!states || !errors) return E_OUTOFMEMORY;

    const FILETIME now = FileTimeNow();
    bool anyFailed = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        OPCITEMSTATE& state = states.get()[i];
        HRESULT& error = errors.get()[i];
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        if (!item) {
            error = OPC_E_INVALIDHANDLE;
        } else if (!(item->tag->AccessRights() & OPC_READABLE)) {
            state.hClient = item->clientHandle;
            error = OPC_E_BADRIGHTS;
        } else {
            ItemSample s =
                dwSource == OPC_DS_CACHE ? core_->SampleCacheLocked(*item, now) : GroupCore::SampleDevice(*item, now);
            state.hClient = item->clientHandle;
            state.ftTimeStamp = s.timestamp;
            state.wQuality = s.quality;
            state.vDataValue = s.value.release();
            error = s.error;
        }
        anyFailed = anyFailed || FAILED(error);
    }
    *ppItemValues = states.release();
    *ppErrors = errors.release();
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) {
    if (HRESULT hr = CheckHandleCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!pItemValues) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    CoTaskMemPtr<HRESULT> errors(CoTaskMemAllocArray<HRESULT>(dwCount));
    if (!errors) return E_OUTOFMEMORY;
    bool anyFailed = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        const HRESULT hr = item ? item->tag->Write(pItemValues[i]) : OPC_E_INVALIDHANDLE;
        errors.get()[i] = hr;
        anyFailed = anyFailed || FAILED(hr);
    }
    *ppErrors = errors.release();
    return anyFailed ? S_FALSE : S_OK;
}

}  // namespace simserver
