#include "persistence/project_tree.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"

namespace {

void SetFields(CVItem& item, const ItemRecord& record) {
    item.accessPath = record.accessPath;
    item.itemId = record.itemId;
    item.active = static_cast<BOOL>(record.active);  // kept as stored
    item.SetDataType(record.dataType);
    item.accessRights = record.accessRights;
    item.reserved = record.reserved;
}

void Place(CVItem* item, const ItemRecord& record, CItemAddressRegistry& registry, ItemAddresses addresses) {
    if (addresses == ItemAddresses::kStored)
        registry.RegisterAt(item, record.address);
    else
        registry.Register(item);
}

void BuildItem(const ItemRecord& record, CVGroup* group, CItemAddressRegistry& registry, ItemAddresses addresses) {
    auto* item = new CVItem(group);
    group->LinkItem(item);
    SetFields(*item, record);
    Place(item, record, registry, addresses);
}

void SetFields(CVGroup& group, const GroupRecord& record) {
    group.SetName(record.name);
    group.updateRate = record.updateRate;
    group.lcid = record.localeId;
    group.timeBias = record.timeBias;
    group.percentDeadband = record.percentDeadband;
    group.active = static_cast<BOOL>(record.active);
    group.SetDataChangeMode(record.updateMethod);
    group.flags = record.removalFlags;
    group.SetRefreshInterval(record.refreshInterval);
}

void BuildGroup(const GroupRecord& record, CVServer* server, CItemAddressRegistry& registry, ItemAddresses addresses) {
    auto* group = new CVGroup(server, ThreadStart::kLater);
    server->LinkGroup(group);
    SetFields(*group, record);
    for (const ItemRecord& item : record.items) BuildItem(item, group, registry, addresses);
}

}  // namespace

void BuildProject(const ProjectRecord& project, ServerList& list, CItemAddressRegistry& registry,
                  ItemAddresses addresses) {
    // Every object is linked as soon as it exists, so that whatever was built before a
    // failure (no memory) is reachable from the list and goes with it.
    for (const ServerRecord& record : project.servers) {
        auto* server = new CVServer(ThreadStart::kLater);
        server->progId = record.progId;
        server->remoteComputer = record.machine;
        server->flags = record.flags;
        list.PushFront(server);
        for (const GroupRecord& group : record.groups) BuildGroup(group, server, registry, addresses);
    }
}

std::unique_ptr<CVGroup> BuildNewGroup(const GroupRecord& record, CVServer* server) {
    auto group = std::make_unique<CVGroup>(server, ThreadStart::kLater);
    SetFields(*group, record);
    return group;
}

std::unique_ptr<CVItem> BuildNewItem(const ItemRecord& record, CVGroup* group, CItemAddressRegistry& registry) {
    auto item = std::make_unique<CVItem>(group);
    SetFields(*item, record);
    registry.Register(item.get());
    return item;
}

void StartProjectThreads(const ServerList& list) {
    for (CVServer* server = list.First(); server; server = server->next) {
        server->StartWatchdog();
        for (CVGroup* group = server->FirstGroup(); group; group = group->next) group->StartCheckThread();
    }
}

ItemRecord RecordOf(const CVItem& item, const CItemAddressRegistry& registry) {
    ItemRecord record;
    record.accessPath = item.accessPath;
    record.itemId = item.itemId;
    record.active = static_cast<std::uint32_t>(item.active);
    // The type of the current value when there is one, else the requested type.
    record.dataType = item.ShownType();
    record.accessRights = item.accessRights;
    record.address = registry.AddressOf(item.itemId);
    record.reserved = item.reserved;
    return record;
}

GroupRecord HeaderOf(const CVGroup& group) {
    GroupRecord record;
    record.name = group.Name();
    record.updateRate = group.updateRate;
    record.localeId = group.lcid;
    record.timeBias = group.timeBias;
    record.percentDeadband = group.percentDeadband;
    record.active = static_cast<std::uint32_t>(group.active);
    record.updateMethod = group.DataChangeMode();
    record.removalFlags = group.flags;
    record.refreshInterval = group.RefreshInterval();
    return record;
}

ServerRecord HeaderOf(const CVServer& server) {
    ServerRecord record;
    record.progId = server.progId;
    record.machine = server.remoteComputer;
    record.flags = server.flags;
    return record;
}

GroupRecord RecordOf(const CVGroup& group, const CItemAddressRegistry& registry) {
    GroupRecord record = HeaderOf(group);
    record.items.reserve(group.ItemCount());
    for (const CVItem* item = group.FirstItem(); item; item = item->next) record.items.push_back(RecordOf(*item, registry));
    return record;
}

ServerRecord RecordOf(const CVServer& server, const CItemAddressRegistry& registry) {
    ServerRecord record = HeaderOf(server);
    for (const CVGroup* group = server.FirstGroup(); group; group = group->next)
        record.groups.push_back(RecordOf(*group, registry));
    return record;
}

ProjectRecord ProjectOf(const ServerList& list, const CItemAddressRegistry& registry) {
    ProjectRecord project;
    project.servers.reserve(static_cast<std::size_t>(list.Count()));
    for (const CVServer* server = list.First(); server; server = server->next)
        project.servers.push_back(RecordOf(*server, registry));
    return project;
}
