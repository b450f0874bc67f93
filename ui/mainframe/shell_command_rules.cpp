#include "ui/mainframe/shell_command_rules.h"

#include "platform/strings/command_ids.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/framework/command_rules.h"

namespace {

bool CanPaste(const CommandContext& c) {
    if (c.busy) return false;
    if (c.activePane == ActivePane::ItemList) return c.currentGroup && ClipboardHas(kItemClipFormat);
    if (c.activePane != ActivePane::GroupTree) return false;
    if (c.currentServer) return ClipboardHas(kServerClipFormat) || ClipboardHas(kGroupClipFormat);
    if (c.currentGroup) return ClipboardHas(kItemClipFormat);
    return ClipboardHas(kServerClipFormat);
}

bool CanCopy(const CommandContext& c) {
    if (c.busy) return false;
    if (c.activePane == ActivePane::GroupTree) return c.currentServer || c.currentGroup;
    if (c.activePane == ActivePane::ItemList) return c.selectedItems > 0;
    return false;
}

}  // namespace

void AddShellCommandRules(CommandRules& rules) {
    const auto notBusy = [](const CommandContext& c) { return !c.busy; };
    const auto serverOrGroup = [](const CommandContext& c) { return !c.busy && (c.currentServer || c.currentGroup); };
    const auto server = [](const CommandContext& c) { return !c.busy && c.currentServer; };
    const auto group = [](const CommandContext& c) { return !c.busy && c.currentGroup; };
    const auto groupAndItems = [](const CommandContext& c) { return !c.busy && c.currentGroup && c.selectedItems > 0; };

    for (unsigned id : {ID_FILE_NEW, ID_FILE_OPEN, ID_APP_EXIT, ID_NEW_SERVER}) rules.Add(id, notBusy);
    rules.Add(ID_FILE_SAVE, [](const CommandContext& c) { return !c.busy && c.modified; });
    rules.Add(ID_FILE_SAVE_AS, [](const CommandContext& c) { return !c.busy && c.serverCount > 0; });
    rules.AddRange(ID_FILE_MRU_FIRST, ID_FILE_MRU_LAST, notBusy);
    rules.Add(ID_EDIT_COPY, CanCopy);
    rules.Add(ID_EDIT_PASTE, CanPaste);
    for (unsigned id : {ID_EDIT_CUT, ID_DELETE, ID_PROPERTIES}) rules.Add(id, serverOrGroup);
    rules.Add(ID_NEW_GROUP, server);
    for (unsigned id : {ID_NEW_ITEM, ID_EXPORT_CSV, ID_IMPORT_CSV, ID_CLONE_GROUP}) rules.Add(id, group);
    // The group's interfaces and update method narrow these further where groups are built.
    for (unsigned id :
         {ID_SET_ACTIVE, ID_SET_INACTIVE, ID_SYNC_READ_CACHE, ID_SYNC_READ_DEVICE, ID_SYNC_WRITE, ID_ASYNC10_READ_CACHE,
          ID_ASYNC10_READ_DEVICE, ID_ASYNC10_REFRESH_CACHE, ID_ASYNC10_REFRESH_DEVICE, ID_ASYNC10_WRITE,
          ID_ASYNC20_READ, ID_ASYNC20_REFRESH_CACHE, ID_ASYNC20_REFRESH_DEVICE, ID_ASYNC20_WRITE})
        rules.Add(id, groupAndItems);
    // The connection state narrows these where servers are built.
    for (unsigned id :
         {ID_CONNECT, ID_DISCONNECT, ID_RECONNECT, ID_SERVER_ERROR_STRING, ID_GROUP_BY_NAME, ID_ENUMERATE_GROUPS})
        rules.Add(id, server);
    rules.Add(ID_CLEAR_EVENTS, [](const CommandContext& c) { return c.eventRows > 0; });
    rules.AddCheck(ID_LOG_ERRORS_ONLY, [](const CommandContext& c) { return c.errorsOnly; });
}
