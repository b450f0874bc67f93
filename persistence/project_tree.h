// Between the project's objects and the file's records. Building inserts every object at the
// head of its list, as loading always has: the lists come back in the reverse of the file
// order, at every level. Collecting walks every list from its head.
#pragma once

#include "opc/client/intrusive_list.h"
#include "opc/client/server.h"
#include "persistence/project_records.h"

#include <memory>

class CItemAddressRegistry;
class CVGroup;
class CVItem;

// The document's servers, newest first.
using ServerList = IntrusiveList<CVServer>;

// Where built items stand in the registry: at their stored addresses (a loaded file), or at
// new ones from the registry, whatever the record says (pasted objects).
enum class ItemAddresses { kStored, kNew };

// Builds the servers, groups and items of `project` and links the servers at the head of
// `list`. Each item is placed in `registry` as `addresses` says. No thread starts yet. Throws
// when an object cannot be made; what was built is then in the list.
void BuildProject(const ProjectRecord& project, ServerList& list, CItemAddressRegistry& registry,
                  ItemAddresses addresses = ItemAddresses::kStored);
// A group of `server` with the record's fields but without its items (not linked to the
// server, its check thread not started), and an item of `group` (not linked to it) at a new
// address. For pasted objects, which are added as new groups and items are.
std::unique_ptr<CVGroup> BuildNewGroup(const GroupRecord& record, CVServer* server);
std::unique_ptr<CVItem> BuildNewItem(const ItemRecord& record, CVGroup* group, CItemAddressRegistry& registry);
// Starts the watchdog of every server and the check thread of every group, once the project
// they came from is accepted.
void StartProjectThreads(const ServerList& list);

// The item's fields with the address `registry` gives its ItemID.
ItemRecord RecordOf(const CVItem& item, const CItemAddressRegistry& registry);
// The group's fields without its items.
GroupRecord HeaderOf(const CVGroup& group);
// The server's fields without its groups.
ServerRecord HeaderOf(const CVServer& server);
// The whole record: the group with its items, the server with its groups and their items.
GroupRecord RecordOf(const CVGroup& group, const CItemAddressRegistry& registry);
ServerRecord RecordOf(const CVServer& server, const CItemAddressRegistry& registry);
ProjectRecord ProjectOf(const ServerList& list, const CItemAddressRegistry& registry);
