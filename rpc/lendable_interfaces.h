// The interfaces a lent object may answer across a connection: those the wire carries.
#pragma once

#include "opc/da/opcda.h"
#include "opc/da/persist_file.h"
#include "platform/com/connection_point.h"
#include "platform/com/data_object.h"
#include "platform/com/enums.h"

#include <array>

namespace rpc {

inline constexpr std::array<const IID*, 17> kLendableInterfaces = {
    &IID_IOPCServer,           &IID_IOPCCommon,         &IID_IConnectionPointContainer,
    &IID_IOPCItemProperties,   &IID_IOPCBrowseServerAddressSpace,
    &IID_IOPCServerPublicGroups, &IID_IPersistFile,     &IID_IOPCGroupStateMgt,
    &IID_IOPCPublicGroupStateMgt, &IID_IOPCItemMgt,     &IID_IOPCSyncIO,
    &IID_IOPCAsyncIO,          &IID_IOPCAsyncIO2,       &IID_IDataObject,
    &IID_IEnumString,          &IID_IEnumUnknown,       &IID_IEnumOPCItemAttributes,
};

}  // namespace rpc
