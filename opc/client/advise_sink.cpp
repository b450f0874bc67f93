#include "opc/client/advise_sink.h"

#include "opc/client/client_handles.h"
#include "opc/client/sink_lookup.h"
#include "opc/client/stream10_parser.h"
#include "opc/da/opc_types.h"
#include "platform/com/clipboard_format.h"
#include "platform/shell/shell.h"

namespace {

using opc::stream::StreamHeader;

// Applies decoded items under the item table's read lock, held by the caller for the batch.
class ItemWriter final : public opc::stream::DataItemVisitor {
public:
    ItemWriter(OPCHANDLE clientGroup, bool withTime) : clientGroup_(clientGroup), withTime_(withTime) {}
    void OnItem(const opc::stream::ItemUpdate& update) override {
        CVItem* item = ItemHandles().Find(update.clientItem);
        if (!item || !BelongsToGroup(*item, clientGroup_)) return;
        if (withTime_)
            item->SetValueWithTimestamp(*update.value, update.quality, update.timestamp);
        else
            item->SetValue(*update.value, update.quality);
        tally_.Count(*item);
    }

private:
    UpdateTally tally_;
    const OPCHANDLE clientGroup_;
    const bool withTime_;
};

class WriteResultCollector final : public opc::stream::WriteRecordVisitor {
public:
    explicit WriteResultCollector(OPCHANDLE clientGroup) : clientGroup_(clientGroup) {}
    void OnRecord(const opc::stream::WriteRecord& record) override {
        if (SUCCEEDED(record.error)) return;
        const CVItem* item = ItemHandles().Find(record.clientItem);
        if (item && BelongsToGroup(*item, clientGroup_)) failed.Add(*item, record.error);
    }
    FailedWriteList failed;

private:
    const OPCHANDLE clientGroup_;
};

void HandleDataStream(std::span<const std::uint8_t> block, bool withTime) {
    StreamHeader header;
    if (!opc::stream::ReadDataHeader(block, header)) return;
    if (header.transactionId != 0) {
        std::string name;
        if (FindGroupName(header.clientGroup, name))
            LogEvent(IDS_ASYNC10_COMPLETED, header.transactionId, static_cast<int>(header.itemCount), name.c_str(),
                     HrBits(header.status));
    }
    auto lock = ItemHandles().ReadLock();
    ItemWriter writer(header.clientGroup, withTime);  // counts its updates before the lock goes
    opc::stream::ReadDataItems(block, withTime, writer);
}

void HandleWriteCompleteStream(std::span<const std::uint8_t> block) {
    StreamHeader header;
    if (!opc::stream::ReadWriteHeader(block, header)) return;
    std::string name;
    if (!FindGroupName(header.clientGroup, name)) return;
    LogEvent(IDS_ASYNC10_WRITE_COMPLETED, header.transactionId, static_cast<int>(header.itemCount), name.c_str(),
             HrBits(header.status));
    WriteResultCollector collector(header.clientGroup);
    {
        auto lock = ItemHandles().ReadLock();
        opc::stream::ReadWriteRecords(block, collector);
    }
    collector.failed.Report(IDS_ASYNC10_WRITE_ITEM_COMPLETED_FAILED, header.transactionId);
}

}  // namespace

const Stream10ClipFormats& Stream10ClipboardFormats() {
    static const Stream10ClipFormats formats{
        static_cast<CLIPFORMAT>(RegisterClipboardFormat(OPCSTMFORMATDATA)),
        static_cast<CLIPFORMAT>(RegisterClipboardFormat(OPCSTMFORMATDATATIME)),
        static_cast<CLIPFORMAT>(RegisterClipboardFormat(OPCSTMFORMATWRITECOMPLETE))};
    return formats;
}

HRESULT CVAdviseSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    return ComObject::QueryInterface(riid, ppv);
}

void CVAdviseSink::OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) {
    if (!pFormatetc || !pStgmed) return;
    // Only a global memory block can be read; the medium's own kind decides what its handle
    // is, whatever the format description says.
    if (pStgmed->tymed != TYMED_HGLOBAL) return;
    const auto pass = gate_.Enter();
    if (!pass.owns_lock()) return;
    const void* data = GlobalLock(pStgmed->hGlobal);
    if (!data) return;
    const std::size_t size = GlobalSize(pStgmed->hGlobal);
    try {
        HandleStream(pFormatetc->cfFormat, {static_cast<const std::uint8_t*>(data), size});
    } catch (...) {
        // Nothing may escape into the server's thread.
    }
    GlobalUnlock(pStgmed->hGlobal);
}

void CVAdviseSink::HandleStream(CLIPFORMAT format, std::span<const std::uint8_t> block) {
    const Stream10ClipFormats& formats = Stream10ClipboardFormats();
    if (format == 0) return;
    if (format == formats.data)
        HandleDataStream(block, false);
    else if (format == formats.dataTime)
        HandleDataStream(block, true);
    else if (format == formats.writeComplete)
        HandleWriteCompleteStream(block);
}
