// The group's interfaces on the server and its data-change subscription: the OPC DA 2.0
// callback in mode 2, else (or when the server's group cannot take it) both OPC DA 1.0
// advices, the data stream and the write completions.
#include "opc/client/advise_sink.h"
#include "opc/client/data_sink20.h"
#include "opc/client/group.h"
#include "opc/client/group_state.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/shell/shell.h"

namespace {

template <class Itf>
ComPtr<Itf> Query(IUnknown* object) {
    ComPtr<Itf> out;
    object->QueryInterface(IidOf<Itf>(), out.putVoid());
    return out;
}

}  // namespace

void CVGroup::ReadStateFromServer(IOPCGroupStateMgt* stateMgt) {
    const std::optional<GroupState> state = ReadGroupState(*stateMgt);
    if (!state) return;
    updateRate = state->updateRate;
    active = state->active ? TRUE : FALSE;
    timeBias = state->timeBias;
    percentDeadband = state->percentDeadband;
    lcid = state->lcid;
    serverGroupHandle = state->serverHandle;
    if (!state->name.empty()) SetName(state->name);
}

void CVGroup::AttachInterfaces(IUnknown* groupObject) {
    if (!groupObject) return;
    // A group that still holds an earlier server's group lets go of it quietly.
    DropSubscription();

    Interfaces found;
    found.stateMgt = Query<IOPCGroupStateMgt>(groupObject);
    if (found.stateMgt && Name().empty()) ReadStateFromServer(found.stateMgt.get());
    found.publicStateMgt = Query<IOPCPublicGroupStateMgt>(groupObject);
    found.itemMgt = Query<IOPCItemMgt>(groupObject);
    found.syncIO = Query<IOPCSyncIO>(groupObject);
    found.asyncIO = Query<IOPCAsyncIO>(groupObject);
    found.dataObject = Query<IDataObject>(groupObject);
    found.asyncIO2 = Query<IOPCAsyncIO2>(groupObject);
    found.container = Query<IConnectionPointContainer>(groupObject);
    {
        std::lock_guard lock(lock_);
        interfaces_ = found;
    }

    const DWORD mode = DataChangeMode();
    if (mode == kDataChangeMode20) {
        const HRESULT hr = found.container ? Subscribe20(found.container.get()) : E_FAIL;
        if (SUCCEEDED(hr)) return;
        LogEvent(IDS_FALLBACK_TO_10, Name().c_str(), server->progId.c_str(), HrBits(hr));
        SetDataChangeMode(kDataChangeMode10DataTime);
    } else if (mode != kDataChangeMode10Data && mode != kDataChangeMode10DataTime) {
        return;
    }
    if (found.dataObject) Subscribe10(found.dataObject.get());
}

HRESULT CVGroup::Subscribe20(IConnectionPointContainer* container) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.put());
    if (FAILED(hr)) return hr;
    if (!point) return E_FAIL;
    sink20_ = ComPtr<IVDataSink20>(new IVDataSink20);
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IOPCDataCallback*>(sink20_.get()), &cookie);
    if (SUCCEEDED(hr)) cookie20_ = cookie;
    return hr;
}

void CVGroup::Subscribe10(IDataObject* dataObject) {
    sink10_ = ComPtr<CVAdviseSink>(new CVAdviseSink);
    const Stream10ClipFormats& formats = Stream10ClipboardFormats();
    FORMATETC format;
    format.cfFormat = DataChangeMode() == kDataChangeMode10Data ? formats.data : formats.dataTime;
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    IAdviseSink* sink = sink10_.get();

    DWORD connection = 0;
    if (SUCCEEDED(dataObject->DAdvise(&format, 0, sink, &connection))) dataConnection_.store(connection);
    format.cfFormat = formats.writeComplete;
    connection = 0;
    if (SUCCEEDED(dataObject->DAdvise(&format, 0, sink, &connection))) writeConnection_.store(connection);
}

void CVGroup::DropSubscription() {
    ComPtr<IDataObject> dataObject = DataObject();
    if (const DWORD connection = dataConnection_.exchange(0); connection && dataObject)
        dataObject->DUnadvise(connection);
    if (const DWORD connection = writeConnection_.exchange(0); connection && dataObject)
        dataObject->DUnadvise(connection);
    // A delivery still inside a sink finishes before the items are reset; later ones are refused.
    if (sink10_) sink10_->Detach();
    sink10_ = nullptr;

    if (const DWORD cookie = std::exchange(cookie20_, 0)) {
        ComPtr<IConnectionPoint> point;
        ComPtr<IConnectionPointContainer> container = ConnectionPointContainer();
        if (container && SUCCEEDED(container->FindConnectionPoint(IID_IOPCDataCallback, point.put())) && point)
            point->Unadvise(cookie);
    }
    if (sink20_) sink20_->Detach();
    sink20_ = nullptr;
}

void CVGroup::DetachInterfaces(bool deleteItems) {
    // No delivery may reach an item after this: subscriptions go before the items do.
    DropSubscription();
    RemoveAllItems(deleteItems);

    Interfaces released;
    {
        std::lock_guard lock(lock_);
        released = std::move(interfaces_);
        interfaces_ = Interfaces{};
    }
    released.stateMgt = nullptr;
    released.publicStateMgt = nullptr;
    released.itemMgt = nullptr;
    released.syncIO = nullptr;
    released.asyncIO = nullptr;
    released.dataObject = nullptr;
    released.asyncIO2 = nullptr;
    released.container = nullptr;
}
