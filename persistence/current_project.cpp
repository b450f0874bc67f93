#include "persistence/current_project.h"

#include "opc/client/item_address_registry.h"
#include "persistence/document.h"
#include "platform/config/opc_config.h"

namespace {

CVDocument* g_project = nullptr;  // GUI thread only

}  // namespace

void SetCurrentProject(CVDocument* document) {
    g_project = document;
    if (document) {
        SetStartAddressHandler([](unsigned) {
            CItemAddressRegistry::Instance().Renumber();
            SaveCurrentProject();
        });
    } else {
        SetStartAddressHandler({});
    }
}

CVDocument* CurrentProject() { return g_project; }

bool SaveCurrentProject() { return g_project && g_project->DoFileSave(); }
