// Registration of the simulation server in the class registry, and the hooks through which
// tests reach the live server objects of a ProgID.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/com/types.h"
#include "simserver/sim_config.h"

namespace simserver {

// ProgIDs registered by RegisterSimulationServers().
inline constexpr char kDefaultProgId[] = "Orvane OPC";           // everything supported
inline constexpr char kFlatProgId[] = "Orvane.SimFlat";          // flat address space
inline constexpr char kDa10ProgId[] = "Orvane.Sim10";            // groups without connection points
inline constexpr char kNoBrowseProgId[] = "Orvane.SimNoBrowse";  // no IOPCBrowseServerAddressSpace
inline constexpr char kNoServerProgId[] = "Orvane.SimNoServer";  // no IOPCServer
// Browsing that answers a few listings, then fails.
inline constexpr char kBrowseFailsProgId[] = "Orvane.SimBrowseFails";
inline constexpr unsigned kBrowseFailsAfter = 3;
// Registered by the server host when asked for: a server whose AddItems takes a set time
// longer, as a slow device's would.
inline constexpr char kSlowProgId[] = "Orvane.SimSlow";

// Registers the built-in ProgIDs in the OPC DA 1.0 and 2.0 server categories and with the
// older "OPC" registration. Safe to call any number of times, from any thread.
void RegisterSimulationServers();

// Registers (or replaces) a ProgID served with `config`; returns its CLSID, which is the same
// every time for the same ProgID. A configuration whose groups have no connection points is
// registered as a DA 1.0 server only.
CLSID RegisterSimulationServer(std::string_view progId, const SimConfig& config);

// Calls IOPCShutdown::ShutdownRequest(reason) on every shutdown sink advised on the live
// server objects of the ProgID, on the calling thread; returns the number of sinks called.
std::size_t RequestShutdown(std::string_view progId, std::u16string_view reason);

// The number of server objects of the ProgID that are alive (not yet released).
std::size_t LiveServerCount(std::string_view progId);

class SimServer;
// Called by the server object itself.
void TrackLiveServer(SimServer* server);
void UntrackLiveServer(SimServer* server);

}  // namespace simserver
