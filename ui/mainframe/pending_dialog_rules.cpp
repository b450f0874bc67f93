#include "ui/mainframe/pending_dialog_rules.h"

#include "platform/strings/command_ids.h"
#include "ui/framework/command_rules.h"

void AddPendingDialogRules(CommandRules& rules) {
    const auto never = [](const CommandContext&) { return false; };
    for (unsigned id : {ID_SERVER_ERROR_STRING, ID_GROUP_BY_NAME, ID_ENUMERATE_GROUPS})
        rules.Add(id, never);
}
