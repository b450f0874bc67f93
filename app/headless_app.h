// The program without windows, for machines without a display: the desktop start-up in its
// order (single instance, OPC.cfg, the project reopened and written back or the one given,
// every server connected), the forwarding server on port 8890, the watchdogs and check
// threads, and every event as a line on standard output. SIGTERM or SIGINT ends it cleanly:
// the servers are disconnected and a project with changes is saved. Uses no widget.
#pragma once

#include <cstdint>
#include <string>

struct CommandLine;

struct HeadlessOptions {
    std::string lockName;            // the single-instance lock
    std::uint16_t port = 8890;       // the forwarding port (0: any free port)
};

// Runs until stopped; returns the exit status. Needs a QCoreApplication.
int RunHeadless(const CommandLine& line, const HeadlessOptions& options);
