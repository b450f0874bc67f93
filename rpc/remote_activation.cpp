#include "rpc/remote_activation.h"

#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/config/opc_config.h"
#include "rpc/channel.h"
#include "rpc/host_server.h"
#include "rpc/local_endpoint.h"
#include "rpc/object_proxy.h"
#include "rpc/wire_convert.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

extern char** environ;

namespace rpc {
namespace {

constexpr auto kHostStartWait = std::chrono::seconds(5);
constexpr auto kHostStartPoll = std::chrono::milliseconds(50);

std::mutex gMutex;
std::map<std::string, std::shared_ptr<Channel>> gChannels;  // by "host:port", or "local"
std::string gHostProgram;
Liveness gLiveness;
HostTransport gTransport;
std::set<std::string> gWarnedPlain;  // hosts reached over plain TCP, said once each

// Starts the host program on the local socket; it ends by itself once idle.
void StartHostProgram(const std::string& program) {
    const char* argv[] = {program.c_str(), "--local", "--exit-when-idle", nullptr};
    pid_t child = 0;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    if (posix_spawn(&child, program.c_str(), nullptr, &attributes, const_cast<char* const*>(argv), environ) == 0) {
        // Reaped on a thread of its own, so it never lingers as a zombie.
        std::thread([child] { ::waitpid(child, nullptr, 0); }).detach();
    }
    posix_spawnattr_destroy(&attributes);
}

// The kept connection to `host` (a name and port, or "unix:PATH" for the local host, whose
// program is started when nobody answers there).
std::shared_ptr<Channel> ChannelTo(const std::string& key, const std::string& host, unsigned port, bool local,
                                   const std::shared_ptr<const TlsCredentials>& tls, HRESULT* hr) {
    std::string program;
    Liveness liveness;
    {
        std::lock_guard lock(gMutex);
        auto found = gChannels.find(key);
        if (found != gChannels.end() && found->second->Alive()) return found->second;
        program = gHostProgram;
        liveness = gLiveness;
    }
    std::shared_ptr<Channel> channel = Channel::Connect(host, port, hr, liveness, tls);
    if (!channel && !program.empty() && local) {
        StartHostProgram(program);
        const auto deadline = std::chrono::steady_clock::now() + kHostStartWait;
        while (!channel && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kHostStartPoll);
            channel = Channel::Connect(host, port, hr, liveness);
        }
    }
    if (!channel) return nullptr;
    std::lock_guard lock(gMutex);
    auto& kept = gChannels[key];
    if (kept && kept->Alive()) return kept;  // another thread connected meanwhile
    kept = channel;
    return channel;
}

}  // namespace

bool ParseComputerName(std::string_view name, std::string* host, unsigned* port) {
    *port = kDefaultHostPort;
    std::string_view portText;
    bool hasPort = false;
    if (!name.empty() && name.front() == '[') {
        const auto close = name.find(']');
        if (close == std::string_view::npos) return false;
        *host = std::string(name.substr(1, close - 1));
        const std::string_view rest = name.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
        hasPort = !rest.empty();
        if (hasPort) portText = rest.substr(1);
    } else if (std::count(name.begin(), name.end(), ':') == 1) {
        const auto colon = name.find(':');
        *host = std::string(name.substr(0, colon));
        hasPort = true;
        portText = name.substr(colon + 1);
    } else {
        *host = std::string(name);  // no port, or a bare IPv6 address
    }
    if (host->empty()) return false;
    if (!hasPort) return true;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() || value == 0 ||
        value > 65535)
        return false;
    *port = value;
    return true;
}

HRESULT ActivateRemote(std::u16string_view computer, REFCLSID clsid, DWORD count, MULTI_QI* results) {
    auto failAll = [&](HRESULT hr) {
        for (DWORD i = 0; i < count; ++i) {
            results[i].pItf = nullptr;
            results[i].hr = hr;
        }
        return hr;
    };
    const std::string name = Utf8FromWide(computer);
    HRESULT hr = S_OK;
    std::shared_ptr<Channel> channel;
    if (IsLocalComputer(name)) {
        std::string error;
        const std::string path = LocalSocketPath(&error);
        if (path.empty()) return failAll(RPC_S_SERVER_UNAVAILABLE_HR);
        channel = ChannelTo("local", "unix:" + path, 0, true, nullptr, &hr);
    } else {
        std::string host;
        unsigned port = 0;
        if (!ParseComputerName(name, &host, &port)) return failAll(RPC_S_SERVER_UNAVAILABLE_HR);
        const std::string key = host + ":" + std::to_string(port);
        HostTransport transport;
        {
            std::lock_guard lock(gMutex);
            transport = gTransport;
            if (!transport.tls && gWarnedPlain.insert(key).second) {
                if (transport.plainTcp)
                    std::fprintf(stderr, "opcstation: WARNING: server host %s is reached over plain TCP: the host is "
                                         "not authenticated and nothing is encrypted\n", key.c_str());
                else
                    std::fprintf(stderr, "opcstation: server host %s refused: no TLS certificate is named "
                                         "(HOST_TLS_CERT, HOST_TLS_KEY, HOST_TLS_CA) and HOST_PLAIN_TCP is not 1\n",
                                 key.c_str());
            }
        }
        if (!transport.tls && !transport.plainTcp) return failAll(E_ACCESSDENIED);
        channel = ChannelTo(key, host, port, false, transport.tls, &hr);
    }
    if (!channel) return failAll(hr);

    ComPtr<IUnknown> object;
    hr = channel->Call([&]() -> kj::Promise<HRESULT> {
        auto request = channel->Host().createInstanceRequest();
        request.setClsid(WireBytes(clsid));
        return request.send().then([&](capnp::Response<rpcwire::Host::CreateInstanceResults>&& response) {
            const HRESULT created = response.getHr();
            if (SUCCEEDED(created)) object = MakeProxy(channel, response.getServer());
            return created;
        });
    });
    if (FAILED(hr)) return failAll(hr);
    if (!object) return failAll(E_NOINTERFACE);

    DWORD answered = 0;
    for (DWORD i = 0; i < count; ++i) {
        void* itf = nullptr;
        results[i].hr = object->QueryInterface(*results[i].pIID, &itf);
        results[i].pItf = SUCCEEDED(results[i].hr) ? static_cast<IUnknown*>(itf) : nullptr;
        if (SUCCEEDED(results[i].hr)) ++answered;
    }
    if (answered == count) return S_OK;
    return answered > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

std::string ServerHostProgram() {
    return GetProgramFolder() + "opcserverd";
}

HostTransport ReadHostTransport() {
    const HostTlsSettings settings = ReadHostTls();
    HostTransport transport;
    transport.plainTcp = settings.plainTcp;
    const TlsFiles files{settings.certificate, settings.privateKey, settings.trustedCa};
    if (files.Empty()) return transport;
    std::string error;
    transport.tls = TlsCredentials::Load(files, &error);
    if (!transport.tls) {
        std::fprintf(stderr, "opcstation: the TLS files for server hosts cannot be used: %s\n", error.c_str());
        transport.plainTcp = false;  // never plain instead of the TLS that was asked for
    }
    return transport;
}

void InstallRemoteActivation(const std::string& hostProgram) {
    InstallRemoteActivation(hostProgram, ReadHostTransport());
}

void InstallRemoteActivation(const std::string& hostProgram, HostTransport transport) {
    const HostPingSettings ping = ReadHostPing();
    {
        std::lock_guard lock(gMutex);
        gHostProgram = hostProgram;
        gTransport = std::move(transport);
        gWarnedPlain.clear();
        gLiveness = Liveness{std::chrono::milliseconds(ping.periodMs), std::chrono::milliseconds(ping.timeoutMs)};
    }
    SetRemoteActivator(&ActivateRemote);
}

void UninstallRemoteActivation() {
    SetRemoteActivator(nullptr);
    std::map<std::string, std::shared_ptr<Channel>> channels;
    {
        std::lock_guard lock(gMutex);
        channels.swap(gChannels);
    }
    // Channels still used by proxies live on in them.
}

}  // namespace rpc
