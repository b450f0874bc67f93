// Creating server objects on other computers, and in the server host of this one: the remote
// activator of the COM layer. A computer is named "host" or "host:port" (the port defaults to
// the host's), or "local" for this user's own host on its Unix socket; one connection per
// computer is kept and reused while it lives.
#pragma once

#include "platform/com/class_registry.h"
#include "platform/com/types.h"
#include "rpc/tls_credentials.h"

#include <memory>
#include <string>
#include <string_view>

namespace rpc {

// How hosts on TCP are reached: over mutual TLS with these credentials; without them, over
// plain TCP only when that was asked for, and not at all otherwise (E_ACCESSDENIED).
struct HostTransport {
    std::shared_ptr<const TlsCredentials> tls;
    bool plainTcp = false;

    static HostTransport PlainTcp() { return HostTransport{nullptr, true}; }
};

// The transport OPC.cfg names (HOST_TLS_CERT, HOST_TLS_KEY, HOST_TLS_CA, HOST_PLAIN_TCP). TLS
// files that cannot be used are reported on standard error and leave hosts on TCP unreachable.
HostTransport ReadHostTransport();

// Makes CoCreateInstanceEx reach computers that are not this one. `hostProgram`, when not
// empty, is started (with "--local --exit-when-idle") when nobody answers as "local" yet, so
// that servers outside this process need no separate start.
// Hosts are watched with the ping period and timeout of OPC.cfg, as read here, and reached
// over `transport` (by default, the one OPC.cfg names).
void InstallRemoteActivation(const std::string& hostProgram);
void InstallRemoteActivation(const std::string& hostProgram, HostTransport transport);
// Removes the activator and lets go of the connections nobody uses.
void UninstallRemoteActivation();

// The server host program installed beside the running one ("opcserverd").
std::string ServerHostProgram();

// The activator itself.
HRESULT ActivateRemote(std::u16string_view computer, REFCLSID clsid, DWORD count, MULTI_QI* results);

// "host[:port]" split; false for an empty host or a port that is not 1 to 65535. A bracketed
// IPv6 address ("[::1]:8891") keeps its colons.
bool ParseComputerName(std::string_view name, std::string* host, unsigned* port);

}  // namespace rpc
