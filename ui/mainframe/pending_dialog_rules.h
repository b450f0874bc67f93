// Commands whose dialogs do not exist yet stay disabled, so that nothing offers what cannot
// happen: the server query dialogs. Added after the other rules, which it narrows.
#pragma once

class CommandRules;

void AddPendingDialogRules(CommandRules& rules);
