// Data-change ingestion on one core: batches of 1,000 numeric items through the OPC DA 2.0
// callback, and through the 1.0 data-with-time stream in global memory, into real items of a
// real group. items_per_second is the figure to read.
#include "opc/client/advise_sink.h"
#include "opc/client/data_sink20.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/stream10_parser.h"
#include "platform/com/filetime.h"
#include "platform/com/global_memory.h"
#include "simserver/stream10.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kBatch = 1000;

struct Items {
    Items() {
        for (int i = 0; i < kBatch; ++i) {
            items.push_back(std::make_unique<CVItem>(&group));
            items.back()->added = TRUE;
            handles.push_back(items.back()->ClientHandle());
        }
    }
    CVGroup group{nullptr};
    std::vector<std::unique_ptr<CVItem>> items;
    std::vector<OPCHANDLE> handles;
};

// Alternating VT_R8 and VT_I4 values.
VARIANT NumericValue(int i) {
    VARIANT v;
    if (i % 2) {
        v.vt = VT_I4;
        v.lVal = i;
    } else {
        v.vt = VT_R8;
        v.dblVal = i * 0.5;
    }
    return v;
}

void BM_DataSink20_OnDataChange(benchmark::State& state) {
    Items target;
    ComPtr<IVDataSink20> sink = MakeComObject<IVDataSink20>();
    std::vector<VARIANT> values;
    for (int i = 0; i < kBatch; ++i) values.push_back(NumericValue(i));
    std::vector<WORD> qualities(kBatch, 0xC0);
    std::vector<FILETIME> times(kBatch, FileTimeNow());
    std::vector<HRESULT> errors(kBatch, S_OK);
    for (auto _ : state) {
        sink->OnDataChange(0, target.group.ClientHandle(), S_OK, S_OK, kBatch, target.handles.data(), values.data(),
                           qualities.data(), times.data(), errors.data());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    if (target.items.front()->GetUpdateCount() != state.iterations()) state.SkipWithError("items not updated");
}
BENCHMARK(BM_DataSink20_OnDataChange);

// A 1.0 "OPCSTMFORMATDATATIME" stream of one batch, in a global memory block.
struct TimedStream {
    explicit TimedStream(const Items& target) {
        std::vector<VARIANT> values;
        for (int i = 0; i < kBatch; ++i) values.push_back(NumericValue(i));
        std::vector<simserver::Stream10Item> items;
        for (int i = 0; i < kBatch; ++i) items.push_back({target.handles[i], 0xC0, FileTimeNow(), &values[i]});
        bytes = simserver::EncodeDataStream(simserver::Stream10Format::DataTime, target.group.ClientHandle(), 0, S_OK,
                                            items);
        block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    ~TimedStream() { GlobalFree(block); }
    std::vector<std::uint8_t> bytes;
    HGLOBAL block;
};

void BM_AdviseSink_DataTimeStream(benchmark::State& state) {
    Items target;
    TimedStream stream(target);
    ComPtr<CVAdviseSink> sink = MakeComObject<CVAdviseSink>();
    FORMATETC format{Stream10ClipboardFormats().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = stream.block;
    for (auto _ : state) sink->OnDataChange(&format, &medium);
    state.SetItemsProcessed(state.iterations() * kBatch);
    if (target.items.front()->GetUpdateCount() != state.iterations()) state.SkipWithError("items not updated");
}
BENCHMARK(BM_AdviseSink_DataTimeStream);

// The stream reader alone, for comparison: decoding without item updates.
void BM_Stream10_DecodeOnly(benchmark::State& state) {
    Items target;
    TimedStream stream(target);
    struct Count final : opc::stream::DataItemVisitor {
        void OnItem(const opc::stream::ItemUpdate& u) override { benchmark::DoNotOptimize(u.value->llVal); }
    } count;
    for (auto _ : state) opc::stream::ReadDataItems(stream.bytes, true, count);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Stream10_DecodeOnly);

}  // namespace

BENCHMARK_MAIN();
