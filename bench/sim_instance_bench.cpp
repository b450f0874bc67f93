// Creating a simulation server object with a million load tags ("Load.T000000"...): the first
// instance of a process, and each one after it, with the process's resident memory. A host
// creates one such instance per client connection, on demand.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "opc/da/opcda.h"
#include "platform/com/class_registry.h"
#include "simserver/server_registry.h"

namespace {

constexpr unsigned kLoadTags = 1000000;
constexpr char kProgId[] = "Bench.SimInstance.1";

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

ComPtr<IOPCServer> CreateServer(const CLSID& clsid) {
    ComPtr<IOPCServer> server;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOPCServer, server.putVoid());
    return server;
}

// The first instance builds the load tags' catalogue; memory_MiB is the process's growth.
void BM_FirstInstance(benchmark::State& state) {
    simserver::SimConfig config;
    config.loadTagCount = kLoadTags;
    const CLSID clsid = simserver::RegisterSimulationServer(kProgId, config);
    const long before = RssKiB();
    for (auto _ : state) {
        if (!CreateServer(clsid)) state.SkipWithError("the server could not be created");
    }
    state.counters["memory_MiB"] = static_cast<double>(RssKiB() - before) / 1024.0;
}
BENCHMARK(BM_FirstInstance)->Iterations(1)->Unit(benchmark::kMillisecond);

// Each later instance, while the earlier ones stay alive as a host's clients' do; the first
// one holds the catalogue. memory_per_instance_MiB is the growth per later instance.
void BM_LaterInstances(benchmark::State& state) {
    simserver::SimConfig config;
    config.loadTagCount = kLoadTags;
    const CLSID clsid = simserver::RegisterSimulationServer(kProgId, config);
    std::vector<ComPtr<IOPCServer>> alive{CreateServer(clsid)};
    const long before = RssKiB();
    for (auto _ : state) {
        alive.push_back(CreateServer(clsid));
        if (!alive.back()) state.SkipWithError("the server could not be created");
    }
    state.counters["memory_per_instance_MiB"] =
        static_cast<double>(RssKiB() - before) / 1024.0 / static_cast<double>(alive.size() - 1);
}
BENCHMARK(BM_LaterInstances)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
