// The enabling rules of the main window's commands that depend on what exists so far: the
// busy flag, the modified flag, the current server or group, the selection and the event
// log. Rules that need a server's or group's own state (connected, interfaces) are added by
// the code that owns those objects; CommandRules::Add replaces a rule given here.
#pragma once

class CommandRules;

void AddShellCommandRules(CommandRules& rules);
