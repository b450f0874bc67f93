#include "simserver/server_registry.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "opc/da/iids.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "simserver/server.h"

namespace simserver {

namespace {

// CLSIDs of the simulation server: a fixed prefix, the rest derived from the ProgID, so a
// ProgID keeps its CLSID across runs.
CLSID ClsidFor(std::string_view progId) {
    std::uint64_t h = 0xCBF29CE484222325ULL;  // FNV-1a
    for (char c : progId) {
        h ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        h *= 0x100000001B3ULL;
    }
    CLSID clsid{0x6A1C2B30, 0x5E7D, 0x4C1B, {}};
    for (int i = 0; i < 8; ++i) clsid.Data4[i] = static_cast<std::uint8_t>(h >> (8 * i));
    return clsid;
}

struct LiveServers {
    std::mutex mutex;
    std::vector<SimServer*> servers;
};

LiveServers& Live() {
    static LiveServers live;
    return live;
}

bool SameProgId(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

CLSID RegisterSimulationServer(std::string_view progId, const SimConfig& config) {
    static std::once_flag categories;
    std::call_once(categories, [] {
        RegisterComCategory(CATID_OPCDAServer10, "OPC Data Access Servers Version 1.0");
        RegisterComCategory(CATID_OPCDAServer20, "OPC Data Access Servers Version 2.0");
    });

    const CLSID clsid = ClsidFor(progId);
    auto shared = std::make_shared<const SimConfig>(config);
    auto name = std::string(progId);
    ClassRegistration registration;
    registration.clsid = clsid;
    registration.progId = name;
    registration.description = "Orvane OPC DA simulation server (" + name + ")";
    registration.implementedCategories = {CATID_OPCDAServer10};
    if (config.groupConnectionPoints) registration.implementedCategories.push_back(CATID_OPCDAServer20);
    registration.opcKey = true;
    registration.factory = MakeClassFactory([shared, name, clsid](REFIID riid, void** ppv) -> HRESULT {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        ComPtr<SimServer> server = MakeComObject<SimServer>(name, clsid, shared);
        return server->QueryInterface(riid, ppv);
    });
    RegisterComClass(std::move(registration));
    return clsid;
}

void RegisterSimulationServers() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterSimulationServer(kDefaultProgId, SimConfig{});
        SimConfig flat;
        flat.flatNamespace = true;
        RegisterSimulationServer(kFlatProgId, flat);
        SimConfig da10;
        da10.groupConnectionPoints = false;
        RegisterSimulationServer(kDa10ProgId, da10);
        SimConfig noBrowse;
        noBrowse.browseInterface = false;
        RegisterSimulationServer(kNoBrowseProgId, noBrowse);
        SimConfig noServer;
        noServer.serverInterface = false;
        RegisterSimulationServer(kNoServerProgId, noServer);
        SimConfig browseFails;
        browseFails.browseCallsBeforeFailure = kBrowseFailsAfter;
        RegisterSimulationServer(kBrowseFailsProgId, browseFails);
    });
}

void TrackLiveServer(SimServer* server) {
    std::lock_guard lock(Live().mutex);
    Live().servers.push_back(server);
}

void UntrackLiveServer(SimServer* server) {
    std::lock_guard lock(Live().mutex);
    auto& servers = Live().servers;
    servers.erase(std::remove(servers.begin(), servers.end(), server), servers.end());
}

std::size_t RequestShutdown(std::string_view progId, std::u16string_view reason) {
    std::vector<ComPtr<IOPCShutdown>> sinks;
    {
        // A server leaves the list before anything of it is destroyed, so its connection
        // point is alive while the lock is held.
        std::lock_guard lock(Live().mutex);
        for (SimServer* server : Live().servers)
            if (SameProgId(server->ProgId(), progId))
                for (auto& sink : server->ShutdownSinks()) sinks.push_back(std::move(sink));
    }
    const std::u16string text(reason);
    for (const auto& sink : sinks) sink->ShutdownRequest(text.c_str());
    return sinks.size();
}

std::size_t LiveServerCount(std::string_view progId) {
    std::lock_guard lock(Live().mutex);
    return static_cast<std::size_t>(std::count_if(Live().servers.begin(), Live().servers.end(),
                                                  [&](SimServer* s) { return SameProgId(s->ProgId(), progId); }));
}

}  // namespace simserver
