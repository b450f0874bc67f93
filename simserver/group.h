// Groups of the simulation server: the properties a group is created with, what the groups
// of one server object share, and the factory that IOPCServer::AddGroup and CloneGroup use.
// The server keeps its groups in a GroupTable (simserver/group_table.h), which also answers
// GetGroupByName, RemoveGroup, the group enumerators and the public groups.
#pragma once

#include <memory>
#include <string>

#include "opc/da/opc_types.h"
#include "platform/com/unknown.h"

namespace simserver {

class AddressSpace;
struct SimConfig;
class SubscriptionScheduler;
class GroupTable;
class Group;

// Properties of a new group, as IOPCServer::AddGroup receives them.
struct GroupParams {
    std::u16string name;  // empty: the table picks a unique name
    bool active = true;
    DWORD requestedUpdateRate = 0;
    OPCHANDLE clientGroup = 0;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0.0f;  // 0..100
    LCID lcid = 0;
};

// What the groups of one server object use; every group keeps these alive.
struct GroupServices {
    std::shared_ptr<AddressSpace> addressSpace;
    std::shared_ptr<const SimConfig> config;           // fault knobs; null: none
    std::shared_ptr<SubscriptionScheduler> scheduler;  // null: SubscriptionScheduler::Shared()
};

// The fastest update rate the server offers; requests below it (and 0, "as fast as you can")
// are revised up to it.
inline constexpr DWORD kFastestUpdateRate = 10;

constexpr DWORD ReviseUpdateRate(DWORD requested) {
    return requested < kFastestUpdateRate ? kFastestUpdateRate : requested;
}

// A group made by the factory, not yet entered in any table.
struct NewGroup {
    ComPtr<Group> group;
    OPCHANDLE serverHandle = 0;
    DWORD revisedUpdateRate = 0;
};

// Creates a group with a fresh process-wide server handle. `params.name` must already be
// unique and non-empty (GroupTable::AddGroup sees to that); the deadband must be 0..100.
// `table` is the table the group will belong to (held weakly): SetName asks it about
// duplicates, CloneGroup adds the clone to it, MoveToPublic moves the group within it.
NewGroup CreateGroup(const GroupParams& params, const GroupServices& services, std::weak_ptr<GroupTable> table);

// The group's IUnknown, for code that only holds the Group class.
IUnknown* GroupIdentity(Group* group);

}  // namespace simserver
