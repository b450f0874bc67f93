// Between the project's objects and the file's records. Building inserts every object at the
// head of its list, as loading always has: the lists come back in the reverse of the file
// order, at every level. Collecting walks every list from its head.
#pragma once

#include "opc/client/intrusive_list.h"
#include "opc/client/server.h"
#include "persistence/project_records.h"

class CItemAddressRegistry;
class CVGroup;
class CVItem;

// The document's servers, newest first.
using ServerList = IntrusiveList<CVServer>;

// Builds the servers, groups and items of `project` and links the servers at the head of
// `list`. Each item is placed at its stored address in `registry`. No thread starts yet. Throws
// when an object cannot be made; what was built is then in the list.
void BuildProject(const ProjectRecord& project, ServerList& list, CItemAddressRegistry& registry);
// Starts the watchdog of every server and the check thread of every group, once the project
// they came from is accepted.
void StartProjectThreads(const ServerList& list);

// The item's fields with the address `registry` gives its ItemID.
ItemRecord RecordOf(const CVItem& item, const CItemAddressRegistry& registry);
// The group's fields without its items.
GroupRecord HeaderOf(const CVGroup& group);
// The server's fields without its groups.
ServerRecord HeaderOf(const CVServer& server);
ProjectRecord ProjectOf(const ServerList& list, const CItemAddressRegistry& registry);
