// The OPC DA 2.0 data callback of a group (IOPCDataCallback): subscription updates and the
// completions of 2.0 reads, refreshes and writes. It keeps no pointer to its group: groups
// and items are found by the client handles the server hands back; unknown handles, and
// items of another group, are skipped.
#pragma once

#include "opc/client/delivery_gate.h"
#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

class IVDataSink20 final : public ComObject<IOPCDataCallback> {
public:
    // IUnknown and IOPCDataCallback only; E_INVALIDARG for a null out pointer.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    // E_INVALIDARG for a null group handle, a count of 0 or any null array; nothing changes
    // then. The error array is not consulted: every item takes what the server sent for it.
    HRESULT OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                         DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                         FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    HRESULT OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                           DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                           FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    HRESULT OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                            OPCHANDLE* pClienthandles, HRESULT* pErrors) override;
    HRESULT OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

    // Called when the subscription is dropped: waits for a callback in progress; later ones
    // reach nothing.
    void Detach() { gate_.Close(); }

private:
    DeliveryGate gate_;
};
