// The OPC DA 1.0 advise sink of a group: one sink serves both of the group's advices, the
// data stream ("OPCSTMFORMATDATA" or "OPCSTMFORMATDATATIME") and "OPCSTMFORMATWRITECOMPLETE".
// It keeps no pointer to its group: groups and items are found by the client handles in the
// stream, and unknown handles are skipped.
#pragma once

#include "opc/client/delivery_gate.h"
#include "platform/com/data_object.h"
#include "platform/com/unknown.h"

#include <cstdint>
#include <span>

// The clipboard format numbers of the three 1.0 streams, registered on first use.
struct Stream10ClipFormats {
    CLIPFORMAT data;
    CLIPFORMAT dataTime;
    CLIPFORMAT writeComplete;
};
const Stream10ClipFormats& Stream10ClipboardFormats();

class CVAdviseSink final : public ComObject<IAdviseSink> {
public:
    // IUnknown and IAdviseSink only; E_INVALIDARG for a null out pointer.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    // Reads the stream in the medium's global memory block; the medium stays the caller's.
    void OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) override;
    void OnViewChange(DWORD, LONG) override {}
    void OnRename(IMoniker*) override {}
    void OnSave() override {}
    void OnClose() override {}

    // The work of OnDataChange on the bytes of a block, by clipboard format.
    static void HandleStream(CLIPFORMAT format, std::span<const std::uint8_t> block);

    // Called when the advices are dropped: waits for a callback in progress; later ones
    // reach nothing.
    void Detach() { gate_.Close(); }

private:
    DeliveryGate gate_;
};
