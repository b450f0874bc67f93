#include "app/project_operations.h"

#include "opc/client/item_address_registry.h"
#include "persistence/document.h"
#include "platform/config/opc_config.h"

bool SaveCurrentProject(CVDocument& project) { return project.DoFileSave(); }

void WriteStartAddress(int value, CItemAddressRegistry& registry, CVDocument& project) {
    StoreStartAddress(value);
    registry.Renumber();  // reads the start address just stored
    SaveCurrentProject(project);
}
