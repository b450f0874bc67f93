#include "forwarding/frame_handler.h"

#include "opc/client/group.h"
#include "opc/client/item.h"

HRESULT WriteThroughGroup(CVItem& item, const std::string& text) {
    if (!item.group) return E_FAIL;  // an item outside any group has no server to write to
    CVItem* items[] = {&item};
    return item.group->AsyncWrite10(items, &text, 1);
}
