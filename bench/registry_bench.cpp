// Address registry: registering and renumbering 100,000 items, and the memory one numeric
// item costs.
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 100000;

std::vector<std::unique_ptr<CVItem>> MakeItems(int count) {
    std::vector<std::unique_ptr<CVItem>> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.push_back(std::make_unique<CVItem>(nullptr));
        items.back()->itemId = "Channel1.Device1.Tag" + std::to_string(i);
    }
    return items;
}

// Times registering fresh items; making and deleting them is left out.
void RegisterFreshItems(benchmark::State& state) {
    auto& registry = CItemAddressRegistry::Instance();
    for (auto _ : state) {
        state.PauseTiming();
        auto items = MakeItems(kItems);
        state.ResumeTiming();
        for (auto& item : items) registry.Register(item.get());
        state.PauseTiming();
        items.clear();
        state.ResumeTiming();
    }
}

void BM_Register100k(benchmark::State& state) {
    CItemAddressRegistry::Instance().SetStartAddressSource([] { return 1u; });
    RegisterFreshItems(state);
}
BENCHMARK(BM_Register100k)->Unit(benchmark::kMillisecond);

// The same through OPC.cfg, as the program does it (the file is read once, then only
// checked for changes).
void BM_Register100kFromConfigFile(benchmark::State& state) {
    CItemAddressRegistry::Instance().SetStartAddressSource(nullptr);
    RegisterFreshItems(state);
}
BENCHMARK(BM_Register100kFromConfigFile)->Unit(benchmark::kMillisecond);

void BM_Renumber100k(benchmark::State& state) {
    auto& registry = CItemAddressRegistry::Instance();
    unsigned start = 1;
    registry.SetStartAddressSource([&start] { return start; });
    auto items = MakeItems(kItems);
    for (int i = 0; i < kItems; ++i) registry.RegisterAt(items[i].get(), 3 * i);  // with gaps
    for (auto _ : state) {
        start = start == 1 ? 50 : 1;
        registry.Renumber();
    }
    items.clear();
    registry.SetStartAddressSource(nullptr);
}
BENCHMARK(BM_Renumber100k)->Unit(benchmark::kMillisecond);

// Heap bytes per numeric item holding a value, without its ItemID text (the ItemID is short
// enough to live inside the string object). Reported as counters: the item alone (with its
// client handle slot) and together with its registry entries.
void BM_MemoryPerItem(benchmark::State& state) {
    auto& registry = CItemAddressRegistry::Instance();
    registry.SetStartAddressSource([] { return 1u; });
    for (auto _ : state) {
        std::vector<std::unique_ptr<CVItem>> items;
        items.reserve(kItems);
        const auto before = mallinfo2().uordblks;
        for (int i = 0; i < kItems; ++i) {
            items.push_back(std::make_unique<CVItem>(nullptr));
            items.back()->itemId = "T" + std::to_string(i);  // fits the small-string buffer
            VARIANT v;
            v.vt = VT_R8;
            v.dblVal = i;
            items.back()->SetValue(v, 0xC0);
        }
        const auto afterItems = mallinfo2().uordblks;
        for (auto& item : items) registry.Register(item.get());
        const auto afterRegistry = mallinfo2().uordblks;
        state.counters["item_bytes"] = static_cast<double>(afterItems - before) / kItems;
        state.counters["with_registry_bytes"] = static_cast<double>(afterRegistry - before) / kItems;
        state.counters["sizeof_CVItem"] = sizeof(CVItem);
    }
    registry.SetStartAddressSource(nullptr);
}
BENCHMARK(BM_MemoryPerItem)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
