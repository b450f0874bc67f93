#include "persistence/background_job.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"

BackgroundJob BackgroundJob::ForServer(JobKind kind, CVServer* server) {
    BackgroundJob job;
    job.kind = static_cast<int>(kind);
    job.server = server;
    return job;
}

BackgroundJob BackgroundJob::ForServers(JobKind kind, std::vector<CVServer*> servers) {
    BackgroundJob job;
    job.kind = static_cast<int>(kind);
    job.servers = std::move(servers);
    return job;
}

BackgroundJob BackgroundJob::ForItems(std::vector<CVItem*> items) {
    BackgroundJob job;
    job.kind = static_cast<int>(JobKind::AddItems);
    job.items = std::move(items);
    return job;
}

void RunJobWork(const BackgroundJob& job) noexcept {
    try {
        switch (static_cast<JobKind>(job.kind)) {
        case JobKind::ConnectServer:
            if (job.server) job.server->ConnectWithGroups();
            break;
        case JobKind::ConnectServers:
            for (std::size_t i = job.servers.size(); i-- > 0;)
                if (CVServer* server = job.servers[i]) server->ConnectWithGroups();
            break;
        case JobKind::DisconnectServer:
            if (job.server) job.server->Disconnect();
            break;
        case JobKind::DisconnectServers:
            for (std::size_t i = job.servers.size(); i-- > 0;)
                if (CVServer* server = job.servers[i]) server->Disconnect();
            break;
        case JobKind::AddItems:
            if (!job.items.empty() && job.items.front() && job.items.front()->group)
                job.items.front()->group->AddItems(job.items.data(), static_cast<int>(job.items.size()), false);
            break;
        }
    } catch (...) {
        // A failure inside the client core is reported there; the worker ends quietly.
    }
}
