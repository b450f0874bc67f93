// What the benchmarks against an opcserverd in another process share: starting the host,
// reading its CPU time and memory, making TLS certificates, and server objects, groups and
// sinks through the client's proxies.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/connection_point.h"
#include "platform/com/memory.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

// opcserverd with `arguments`; 0 when it cannot be started. It is stopped with StopHost.
inline pid_t StartHost(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{OPCSERVERD_PATH};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, OPCSERVERD_PATH, nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) != 0)
        return 0;
    return child;
}

inline void StopHost(pid_t host) {
    if (host <= 0) return;
    ::kill(host, SIGTERM);
    ::waitpid(host, nullptr, 0);
}

inline long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// User and system CPU seconds the process has used.
inline double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; fields >> field; ++i) {  // field 3 is the state
        if (i == 14) user = std::stoull(field);
        if (i == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A CA, a host certificate for localhost and the loopback addresses 127.0.0.1 to 127.0.0.10,
// and a client certificate "bench", in a fresh folder; empty when the script fails.
inline std::string MakeCertificates() {
    char pattern[] = "/tmp/opc-bench-tls-XXXXXX";
    if (!::mkdtemp(pattern)) return {};
    const std::string dir = pattern;
    const std::string script = std::string(OPC_SOURCE_DIR) + "/scripts/make-tls-certificates " + dir;
    std::string addresses;
    for (int i = 1; i <= 10; ++i) addresses += " 127.0.0." + std::to_string(i);
    for (const std::string& what : {std::string(" ca"), " host localhost" + addresses, std::string(" client bench")})
        if (std::system((script + what).c_str()) != 0) return {};
    return dir;
}

// opcserverd's options for mutual TLS with the host certificate in MakeCertificates' folder.
inline std::vector<std::string> HostTlsArguments(const std::string& dir) {
    return {"--tls-cert", dir + "/localhost.pem", "--tls-key", dir + "/localhost.key", "--tls-ca", dir + "/ca.pem"};
}

// The client's way to such a host, with the "bench" certificate; files it cannot use are said on
// standard error, and leave hosts on TCP unreachable.
inline rpc::HostTransport ClientTls(const std::string& dir) {
    std::string error;
    auto credentials = rpc::TlsCredentials::Load({dir + "/bench.pem", dir + "/bench.key", dir + "/ca.pem"}, &error);
    if (!credentials) std::fprintf(stderr, "%s\n", error.c_str());
    return rpc::HostTransport{credentials, false};
}

// A server object of `progId` on `computer`, tried for up to a minute: a host with many load
// tags builds their catalogue before it listens.
inline ComPtr<IOPCServer> ConnectServer(const std::string& computer, const char* progId = simserver::kDefaultProgId) {
    const CLSID clsid = simserver::RegisterSimulationServer(progId, {});  // resolves the ProgID here
    std::u16string name = WideFromUtf8(computer);
    COSERVERINFO where;
    where.pwszName = name.data();
    MULTI_QI request{&IID_IOPCServer, nullptr, S_OK};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (FAILED(CoCreateInstanceEx(clsid, nullptr, CLSCTX_REMOTE_SERVER, &where, 1, &request))) {
        if (Clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ComPtr<IOPCServer> server;
    server.attach(static_cast<IOPCServer*>(request.pItf));
    return server;
}

// The host names its load tags with at least four digits, more when there are over 10,000.
inline int TagDigits(int tagCount) {
    return tagCount > 10000 ? static_cast<int>(std::to_string(tagCount - 1).size()) : 4;
}

// A group of `count` load tags from `first`, with the server handles of its items.
inline ComPtr<IOPCItemMgt> AddGroup(IOPCServer* server, int index, DWORD rate, int first, int count, int tagCount,
                                    std::vector<OPCHANDLE>* handles) {
    OPCHANDLE group = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> items;
    std::u16string name = WideFromUtf8("load" + std::to_string(index));
    if (FAILED(server->AddGroup(name.c_str(), TRUE, rate, static_cast<OPCHANDLE>(index), nullptr, nullptr, 0, &group,
                                &revised, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()))))
        return nullptr;
    std::vector<std::u16string> ids;
    std::vector<OPCITEMDEF> defs(static_cast<std::size_t>(count));
    ids.reserve(defs.size());
    for (int i = 0; i < count; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "Load.T%0*d", TagDigits(tagCount), first + i);
        ids.push_back(WideFromUtf8(id));
        defs[static_cast<std::size_t>(i)].szItemID = ids.back().data();
        defs[static_cast<std::size_t>(i)].bActive = TRUE;
        defs[static_cast<std::size_t>(i)].hClient = static_cast<OPCHANDLE>(i);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    if (FAILED(items->AddItems(static_cast<DWORD>(count), defs.data(), &results, &errors))) return nullptr;
    for (int i = 0; i < count; ++i) handles->push_back(results[i].hServer);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return items;
}

inline bool Advise(IOPCItemMgt* items, IOPCDataCallback* sink) {
    auto container = ComPtr<IOPCItemMgt>(items).As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    return container && SUCCEEDED(container->FindConnectionPoint(IID_IOPCDataCallback, point.put())) &&
           SUCCEEDED(point->Advise(sink, &cookie));
}

inline void PrintLatencies(const char* what, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    std::printf("%s: p50 %.1f us, p99 %.1f us, max %.1f us (%zu round trips)\n", what, micros[micros.size() / 2],
                micros[micros.size() * 99 / 100], micros.back(), micros.size());
}

}  // namespace bench
