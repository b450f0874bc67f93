// Commands whose dialogs do not exist yet stay disabled, so that nothing offers what cannot
// happen: the item properties dialog and the server query dialogs. Properties stays enabled for a server or a group, whose sheets exist, but not from
// the item list. Added after the other rules, which it narrows.
#pragma once

class CommandRules;

void AddPendingDialogRules(CommandRules& rules);
