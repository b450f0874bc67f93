// The long operations that the document runs on its worker thread while the GUI thread keeps
// dispatching events: connecting and disconnecting servers, adding many items.
#pragma once

#include <vector>

class CVItem;
class CVServer;

enum class JobKind : int {
    ConnectServer = 0,      // `server`: connect with all groups and items
    ConnectServers = 1,     // `servers`: the same for each, last entry first
    DisconnectServer = 2,   // `server`: disconnect
    DisconnectServers = 3,  // `servers`: the same for each, last entry first
    AddItems = 4,           // `items`: add them through the group of the first item
};

struct BackgroundJob {
    int kind = -1;  // a JobKind; any other value does nothing
    CVServer* server = nullptr;
    std::vector<CVServer*> servers;
    std::vector<CVItem*> items;

    static BackgroundJob ForServer(JobKind kind, CVServer* server);
    static BackgroundJob ForServers(JobKind kind, std::vector<CVServer*> servers);
    static BackgroundJob ForItems(std::vector<CVItem*> items);
};

// The work of a job, on the calling thread. Never throws.
void RunJobWork(const BackgroundJob& job) noexcept;
