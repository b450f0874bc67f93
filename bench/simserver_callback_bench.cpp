// Data-change throughput of the simulation server: groups of 1,000 items each at a 10 ms
// update rate, on tags that change every millisecond, delivered through IOPCDataCallback to
// sinks that only count. With 10 groups the offered load is 1,000,000 item changes per second:
// item_changes_per_s shows that all of it is delivered, and item_changes_per_cpu_s what one
// second of the process's CPU time delivers (the server's capacity). The 40-group run offers
// four times that load and shows the rate the server sustains when saturated.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/counting_sink.h"
#include "opc/da/opcda.h"
#include "platform/com/class_registry.h"
#include "platform/com/connection_point.h"
#include "platform/com/memory.h"
#include "simserver/server_registry.h"

namespace {

constexpr int kTagGroups = 10;  // groups beyond these share the tags of the first ten
constexpr int kItemsPerGroup = 1000;
constexpr DWORD kUpdateRateMs = 10;

// One subscribed group: 1,000 "Load.Tnnnn" ramps, the 2.0 callback advised.
double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool Subscribe(IOPCServer* server, int index, std::atomic<std::uint64_t>& changes,
               std::vector<ComPtr<IUnknown>>* keep) {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> items;
    std::u16string name = u"load";
    for (char c : std::to_string(index)) name.push_back(static_cast<char16_t>(c));
    if (FAILED(server->AddGroup(name.c_str(), TRUE, kUpdateRateMs, static_cast<OPCHANDLE>(index), nullptr, nullptr, 0,
                                &handle, &revised, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()))))
        return false;

    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    auto container = items.As<IConnectionPointContainer>();
    auto sink = MakeComObject<CountingSink>(changes);
    if (!container || FAILED(container->FindConnectionPoint(IID_IOPCDataCallback, point.put())) ||
        FAILED(point->Advise(static_cast<IOPCDataCallback*>(sink.get()), &cookie)))
        return false;

    std::vector<std::u16string> ids;
    std::vector<OPCITEMDEF> defs(kItemsPerGroup);
    ids.reserve(kItemsPerGroup);
    for (int i = 0; i < kItemsPerGroup; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "Load.T%04d", (index % kTagGroups) * kItemsPerGroup + i);
        ids.emplace_back(id, id + std::char_traits<char>::length(id));
        defs[i].szItemID = ids.back().data();
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = items->AddItems(kItemsPerGroup, defs.data(), &results, &errors);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    keep->emplace_back(items.get());
    return hr == S_OK;
}

void BM_SimServerCallback(benchmark::State& state) {
    // The full server under a ProgID of its own whose address space has a load tag per item.
    simserver::SimConfig config;
    config.loadTagCount = kTagGroups * kItemsPerGroup;
    const CLSID clsid = simserver::RegisterSimulationServer("Orvane.SimBench", config);
    ComPtr<IOPCServer> server;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IOPCServer, server.putVoid()))) {
        state.SkipWithError("the simulation server could not be created");
        return;
    }
    const int groupCount = static_cast<int>(state.range(0));
    std::atomic<std::uint64_t> changes{0};
    std::vector<ComPtr<IUnknown>> groups;
    for (int g = 0; g < groupCount; ++g) {
        if (!Subscribe(server.get(), g, changes, &groups)) {
            state.SkipWithError("a group could not be subscribed");
            return;
        }
    }
    // The first updates (every item at once) are not part of the steady state.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::uint64_t total = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const std::uint64_t before = changes.load();
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        total += changes.load() - before;
        cpuSeconds += ProcessCpuSeconds() - cpuBefore;
        seconds += elapsed.count();
        state.SetIterationTime(elapsed.count());
    }
    state.counters["offered_per_s"] = benchmark::Counter(groupCount * kItemsPerGroup * (1000.0 / kUpdateRateMs));
    state.counters["item_changes_per_s"] = benchmark::Counter(static_cast<double>(total) / seconds);
    state.counters["item_changes_per_cpu_s"] = benchmark::Counter(static_cast<double>(total) / cpuSeconds);

    for (auto& group : groups) {
        DWORD rate;
        OPCHANDLE client, serverHandle;
        BOOL active;
        LPWSTR name = nullptr;
        LONG bias;
        FLOAT deadband;
        DWORD lcid;
        if (auto s = group.As<IOPCGroupStateMgt>();
            s && SUCCEEDED(s->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &serverHandle))) {
            CoTaskMemFree(name);
            s = nullptr;
            group = nullptr;
            server->RemoveGroup(serverHandle, TRUE);
        }
    }
}
BENCHMARK(BM_SimServerCallback)
    ->Arg(10)
    ->Arg(40)
    ->ArgName("groups")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
