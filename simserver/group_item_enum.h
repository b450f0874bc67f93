// IEnumOPCItemAttributes over a snapshot of a group's items.
#pragma once

#include <string>
#include <vector>

#include "opc/da/group_interfaces.h"
#include "platform/com/variant.h"

namespace simserver {

struct GroupItem;

struct ItemAttributesRecord {
    std::u16string accessPath;
    std::u16string itemId;
    bool active = false;
    OPCHANDLE clientHandle = 0;
    OPCHANDLE serverHandle = 0;
    DWORD accessRights = 0;
    VARTYPE requestedType = VT_EMPTY;
    VARTYPE canonicalType = VT_EMPTY;
    OPCEUTYPE euType = OPC_NOENUM;
    Variant euInfo;

    static ItemAttributesRecord Of(const GroupItem& item);
};

ComPtr<IEnumOPCItemAttributes> MakeItemAttributesEnum(std::vector<ItemAttributesRecord> records);

}  // namespace simserver
