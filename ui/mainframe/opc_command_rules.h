// Enabling of the commands that depend on the current server's connection and on the
// interfaces and update method of the current group. They replace the shell's placeholder
// rules for the same commands.
#pragma once

class CommandRules;

void AddOpcCommandRules(CommandRules& rules);
