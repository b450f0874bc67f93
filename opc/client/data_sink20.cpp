#include "opc/client/data_sink20.h"

#include "opc/client/client_handles.h"
#include "opc/client/sink_lookup.h"
#include "platform/shell/shell.h"

#include <string>

namespace {

void ReportCompleted(EventMessage<DWORD, int, const char*, unsigned> message, DWORD transactionId, OPCHANDLE group,
                     DWORD count, HRESULT error) {
    std::string name;
    if (FindGroupName(group, name))
        LogEvent(message, transactionId, static_cast<int>(count), name.c_str(), HrBits(error));
}

// One lock of the item table for the whole batch; no allocation for numeric values.
void ApplyValues(OPCHANDLE group, DWORD count, const OPCHANDLE* handles, const VARIANT* values, const WORD* qualities,
                 const FILETIME* timestamps) {
    auto lock = ItemHandles().ReadLock();
    UpdateTally tally;  // counted before the lock goes
    for (DWORD i = 0; i < count; ++i) {
        CVItem* item = ItemHandles().Find(handles[i]);
        if (!item || !BelongsToGroup(*item, group)) continue;
        try {
            item->SetValueWithTimestamp(values[i], qualities[i], timestamps[i]);
            tally.Count(*item);
        } catch (...) {
            // A failure ends the handling of this item only.
        }
    }
}

bool ValidValues(OPCHANDLE group, DWORD count, const OPCHANDLE* handles, const VARIANT* values, const WORD* qualities,
                 const FILETIME* timestamps, const HRESULT* errors) {
    return group != 0 && count != 0 && handles && values && qualities && timestamps && errors;
}

}  // namespace

HRESULT IVDataSink20::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    return ComObject::QueryInterface(riid, ppv);
}

HRESULT IVDataSink20::OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT, HRESULT hrMastererror, DWORD dwCount,
                                   OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                   FILETIME* pftTimeStamps, HRESULT* pErrors) {
    if (!ValidValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors))
        return E_INVALIDARG;
    const auto pass = gate_.Enter();
    if (!pass.owns_lock()) return S_OK;
    // A non-zero transaction is the completion of a 2.0 refresh.
    if (dwTransid != 0) ReportCompleted(IDS_ASYNC20_COMPLETED, dwTransid, hGroup, dwCount, hrMastererror);
    ApplyValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps);
    return S_OK;
}

HRESULT IVDataSink20::OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT, HRESULT hrMastererror, DWORD dwCount,
                                     OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                     FILETIME* pftTimeStamps, HRESULT* pErrors) {
    if (!ValidValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors))
        return E_INVALIDARG;
    const auto pass = gate_.Enter();
    if (!pass.owns_lock()) return S_OK;
    ReportCompleted(IDS_ASYNC20_COMPLETED, dwTransid, hGroup, dwCount, hrMastererror);
    ApplyValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps);
    return S_OK;
}

HRESULT IVDataSink20::OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                                      OPCHANDLE* pClienthandles, HRESULT* pErrors) {
    if (hGroup == 0 || dwCount == 0 || !pClienthandles || !pErrors) return E_INVALIDARG;
    const auto pass = gate_.Enter();
    if (!pass.owns_lock()) return S_OK;
    ReportCompleted(IDS_ASYNC20_WRITE_COMPLETED, dwTransid, hGroup, dwCount, hrMastererr);
    FailedWriteList failed;
    {
        auto lock = ItemHandles().ReadLock();
        for (DWORD i = 0; i < dwCount; ++i) {
            if (SUCCEEDED(pErrors[i])) continue;
            const CVItem* item = ItemHandles().Find(pClienthandles[i]);
            if (item && BelongsToGroup(*item, hGroup)) failed.Add(*item, pErrors[i]);
        }
    }
    failed.Report(IDS_ASYNC20_WRITE_ITEM_COMPLETED_FAILED, dwTransid);
    return S_OK;
}
