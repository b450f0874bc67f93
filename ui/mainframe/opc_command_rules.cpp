#include "ui/mainframe/opc_command_rules.h"

#include "opc/client/group.h"
#include "opc/client/server.h"
#include "platform/strings/command_ids.h"
#include "ui/framework/command_rules.h"

namespace {

const CVServer* ServerOf(const CommandContext& c) { return static_cast<const CVServer*>(c.currentServer); }
const CVGroup* GroupOf(const CommandContext& c) { return static_cast<const CVGroup*>(c.currentGroup); }

// Not busy, a group is current and items are selected: the item commands' common ground.
bool ItemCommandBase(const CommandContext& c) { return !c.busy && GroupOf(c) && c.selectedItems > 0; }

bool UsesUpdates20(const CVGroup& group) { return group.DataChangeMode() == kDataChangeMode20; }

}  // namespace

void AddOpcCommandRules(CommandRules& rules) {
    const auto connected = [](const CommandContext& c) { return !c.busy && ServerOf(c) && ServerOf(c)->IsConnected(); };
    rules.Add(ID_CONNECT,
              [](const CommandContext& c) { return !c.busy && ServerOf(c) && !ServerOf(c)->IsConnected(); });
    for (unsigned id : {ID_DISCONNECT, ID_RECONNECT, ID_SERVER_ERROR_STRING, ID_GROUP_BY_NAME, ID_ENUMERATE_GROUPS})
        rules.Add(id, connected);

    rules.Add(ID_CLONE_GROUP,
              [](const CommandContext& c) { return !c.busy && GroupOf(c) && GroupOf(c)->GroupStateMgt(); });

    const auto withItemMgt = [](const CommandContext& c) { return ItemCommandBase(c) && GroupOf(c)->ItemMgt(); };
    const auto withSyncIO = [](const CommandContext& c) { return ItemCommandBase(c) && GroupOf(c)->SyncIO(); };
    const auto withAsyncIO10 = [](const CommandContext& c) {
        return ItemCommandBase(c) && GroupOf(c)->AsyncIO() && !UsesUpdates20(*GroupOf(c));
    };
    const auto withAsyncIO20 = [](const CommandContext& c) {
        return ItemCommandBase(c) && GroupOf(c)->AsyncIO2() && UsesUpdates20(*GroupOf(c));
    };
    for (unsigned id : {ID_SET_ACTIVE, ID_SET_INACTIVE}) rules.Add(id, withItemMgt);
    for (unsigned id : {ID_SYNC_READ_CACHE, ID_SYNC_READ_DEVICE, ID_SYNC_WRITE}) rules.Add(id, withSyncIO);
    for (unsigned id : {ID_ASYNC10_READ_CACHE, ID_ASYNC10_READ_DEVICE, ID_ASYNC10_REFRESH_CACHE,
                        ID_ASYNC10_REFRESH_DEVICE, ID_ASYNC10_WRITE})
        rules.Add(id, withAsyncIO10);
    for (unsigned id : {ID_ASYNC20_READ, ID_ASYNC20_REFRESH_CACHE, ID_ASYNC20_REFRESH_DEVICE, ID_ASYNC20_WRITE})
        rules.Add(id, withAsyncIO20);
}
