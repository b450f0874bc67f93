// Opening a large project and importing a large CSV file, through the document.
//   cmake --preset release -B build/<dir> && cmake --build build/<dir> --target bench_project
//   build/<dir>/bench/bench_project
// Open: 10 servers x 10 groups x 1,000 items read from the file, objects built and every item
// placed at its stored address, without connecting. Import: 100,000 lines into one group of a
// server that is not connected.
#include "opc/client/group.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "persistence/project_codec.h"
#include "platform/config/opc_config.h"
#include "opc/client/item_address_registry.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kServers = 10;
constexpr int kGroups = 10;
constexpr int kItemsPerGroup = 1000;
constexpr int kCsvLines = 100000;

std::string ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "opc-bench-XXXXXX").string();
        ::mkdtemp(pattern.data());
        SetProgramFolderForTesting(pattern);  // OPC.cfg of the run lives there
        return pattern;
    }();
    return folder;
}

// Opening without connecting: the base open reads the file, empties the project and loads.
class OpenOnlyDocument : public CVDocument {
public:
    OpenOnlyDocument() : CVDocument(CItemAddressRegistry::Instance()) {}
    bool OpenWithoutConnecting(const std::string& path) { return Document::OnOpenDocument(path); }
};

std::string LargeProject() {
    const std::string path = ScratchFolder() + "/large.ovopc";
    if (std::filesystem::exists(path)) return path;
    ProjectRecord project;
    int address = 1;
    for (int s = 0; s < kServers; ++s) {
        ServerRecord server{"Bench.Server." + std::to_string(s), "", 0, {}};
        for (int g = 0; g < kGroups; ++g) {
            GroupRecord group;
            group.name = "Group" + std::to_string(g);
            for (int i = 0; i < kItemsPerGroup; ++i) {
                char id[64];
                std::snprintf(id, sizeof id, "S%d.G%d.Tag%d", s, g, i);
                group.items.push_back({"", id, 1, 4, 3, address++, 0});
            }
            server.groups.push_back(std::move(group));
        }
        project.servers.push_back(std::move(server));
    }
    const std::vector<std::uint8_t> bytes = EncodeProject(project);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string LargeCsv() {
    const std::string path = ScratchFolder() + "/large.csv";
    if (std::filesystem::exists(path)) return path;
    std::ofstream out(path, std::ios::binary);
    out << "变量ID,访问路径,数据类型,Active\r\n";
    for (int i = 0; i < kCsvLines; ++i) out << "Plant.Area" << i / 1000 << ".Tag" << i << ",\"\",Float,TRUE\r\n";
    return path;
}

void BM_OpenProject100k(benchmark::State& state) {
    const std::string path = LargeProject();
    OpenOnlyDocument document;
    for (auto _ : state) {
        if (!document.OpenWithoutConnecting(path)) state.SkipWithError("open failed");
        state.PauseTiming();
        document.DeleteContents();
        state.ResumeTiming();
    }
    state.counters["items"] = kServers * kGroups * kItemsPerGroup;
}
BENCHMARK(BM_OpenProject100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ImportCsv100k(benchmark::State& state) {
    const std::string path = LargeCsv();
    CVDocument document(CItemAddressRegistry::Instance());
    auto* server = new CVServer();
    server->progId = "Bench.Offline";
    document.AddNewServer(server);
    auto* group = new CVGroup(server);
    server->LinkGroup(group);
    for (auto _ : state) {
        if (document.ImportCsv(*group, path) != kCsvLines) state.SkipWithError("import failed");
        state.PauseTiming();
        group->DeleteAllItems();
        state.ResumeTiming();
    }
    state.counters["lines"] = kCsvLines;
}
BENCHMARK(BM_ImportCsv100k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
