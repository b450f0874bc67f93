// Lookups that the data sinks make on server threads: a group's name by its client handle,
// whether an item belongs to the group that a delivery names, and the ItemIDs of the failed
// items of a write completion. Reports are made after the handle tables' locks are released,
// so the event log never runs under them.
#pragma once

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "opc/da/opc_types.h"
#include "platform/shell/shell.h"

#include <cstdint>
#include <string>
#include <vector>

// False for an unknown (or null) handle.
bool FindGroupName(OPCHANDLE clientGroup, std::string& name);

// A server reaches only the items of the group it delivers for, whatever handles it sends.
// Call under ItemHandles().ReadLock(): a live item's group outlives it.
inline bool BelongsToGroup(const CVItem& item, OPCHANDLE clientGroup) {
    return item.group && item.group->ClientHandle() == clientGroup;
}

// Collects, in order, the failed items of a write completion for reporting after the
// item table's lock is released.
class FailedWriteList {
public:
    // Call under ItemHandles().ReadLock().
    void Add(const CVItem& item, HRESULT error) { failed_.push_back({item.itemId, error, item.group->server}); }
    // Reports one line `message` (ItemID, transaction ID, HRESULT) per failed item.
    void Report(EventMessage<const char*, DWORD, unsigned> message, DWORD transactionId) const;

private:
    struct Failed {
        std::string itemId;
        HRESULT error;
        CVServer* server;  // kept alive by the delivery gate while the sink reports
    };
    std::vector<Failed> failed_;
};

// Counts the values that one delivery put on the items of a group, for its server's figures.
// Call under ItemHandles().ReadLock(), as the items are found.
class UpdateTally {
public:
    void Count(const CVItem& item) {
        if (!server_ && item.group) server_ = item.group->server;
        ++count_;
    }
    ~UpdateTally() {
        if (server_ && count_ > 0) server_->Statistics().AddUpdates(count_);
    }
    UpdateTally() = default;
    UpdateTally(const UpdateTally&) = delete;
    UpdateTally& operator=(const UpdateTally&) = delete;

private:
    CVServer* server_ = nullptr;
    std::uint64_t count_ = 0;
};
