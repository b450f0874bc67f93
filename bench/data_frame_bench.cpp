// Building one forwarding reply: a read of 125 numeric items out of 10,000 registered, the
// user-space share of each request the data server answers.
#include "forwarding/data_frame.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

void BuildReply(benchmark::State& state) {
    const auto count = static_cast<std::uint16_t>(state.range(0));
    std::vector<std::unique_ptr<CVItem>> items;
    for (int k = 0; k < 10000; ++k) {
        items.push_back(std::make_unique<CVItem>(nullptr));
        CVItem& item = *items.back();
        item.itemId = "Bench.Item" + std::to_string(k);  // the registry knows items by ItemID
        item.SetDataType(VT_I4);
        item.added = TRUE;
        VARIANT value;
        value.vt = VT_I4;
        value.lVal = k;
        item.SetValue(value, 0xC0);
        CItemAddressRegistry::Instance().RegisterAt(&item, k);
    }
    std::vector<std::uint8_t> out;
    // A different range each time, as several peers polling different blocks would ask.
    std::uint16_t first = 0;
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(BuildDataFrame(CItemAddressRegistry::Instance(), first, count, out));
        first = static_cast<std::uint16_t>((first + 1000) % 9000);
    }
    state.SetItemsProcessed(state.iterations() * count);
    for (auto& item : items) CItemAddressRegistry::Instance().Unregister(item.get());
}
BENCHMARK(BuildReply)->Arg(10)->Arg(125)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
