// The process-wide tables of client handles for items and groups.
#pragma once

#include "opc/client/handle_table.h"

class CVItem;
class CVGroup;

HandleTable<CVItem>& ItemHandles();
HandleTable<CVGroup>& GroupHandles();
