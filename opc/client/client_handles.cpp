#include "opc/client/client_handles.h"

HandleTable<CVItem>& ItemHandles() {
    static HandleTable<CVItem> table;
    return table;
}

HandleTable<CVGroup>& GroupHandles() {
    static HandleTable<CVGroup> table;
    return table;
}
