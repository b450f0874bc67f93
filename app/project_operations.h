// The operations on the program's project that start-up and the commands share. Each touches
// OPC.cfg, the address registry and the project document together, so each says so here.
#pragma once

class CItemAddressRegistry;
class CVDocument;

// Saves `project` as File ▸ Save does: to its file, or through the Save As dialog when it has
// none yet. False when the save failed or was cancelled.
bool SaveCurrentProject(CVDocument& project);

// Changes the first forwarding address: stores it in OPC.cfg (a negative value as 0), gives
// every item in `registry` a new address counted from it in the order of the old ones, and
// saves `project`, so that its stored addresses match the new numbering.
void WriteStartAddress(int value, CItemAddressRegistry& registry, CVDocument& project);
