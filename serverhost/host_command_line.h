// The server host's command line.
#pragma once

#include "rpc/host_server.h"

#include <string>
#include <vector>

struct HostCommandLine {
    rpc::HostOptions host;
    unsigned loadTags = 0;  // 0 keeps the simulation server's own count
    unsigned addItemsDelayMs = 0;  // when set, the slow server is served too
    bool exitWhenIdle = false;
    bool local = false;  // on this user's Unix socket instead of a TCP port
    bool plainTcp = false;  // TCP without TLS: asked for by name, never the default
    bool help = false;
    bool version = false;
    std::string error;  // set when the line cannot be used
};

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& arguments);
const char* HostUsage();
