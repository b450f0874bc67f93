// The program without windows, for machines without a display: the desktop start-up in its
// order (single instance, OPC.cfg, the project reopened and written back or the one given,
// every server connected), the forwarding server on port 8890 (or as OPC.cfg's [FORWARDING]
// says), the watchdogs and check threads, every event as a line on standard output and, when
// asked, the gateway's figures as a status line every minute. SIGTERM or SIGINT ends it cleanly:
// the servers are disconnected and a project with changes is saved. Uses no widget.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CommandLine;

struct HeadlessOptions {
    std::string lockName;            // the single-instance lock
    std::optional<std::uint16_t> port;  // the forwarding port instead of OPC.cfg's (0: any free port)
};

// Runs until stopped; returns the exit status. Needs a QCoreApplication.
int RunHeadless(const CommandLine& line, const HeadlessOptions& options);
