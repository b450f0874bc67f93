// The browse position of one server object and the IOPCBrowseServerAddressSpace rules,
// without the COM plumbing: the server object turns the results into enumerators.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simserver/address_space.h"

namespace simserver {

class BrowseSession {
public:
    explicit BrowseSession(std::shared_ptr<const AddressSpace> space);

    // OPC_BROWSE_UP (E_FAIL at the root), OPC_BROWSE_DOWN into a child branch, OPC_BROWSE_TO
    // a fully qualified branch ("" or null: the root). E_INVALIDARG for an unknown branch or
    // direction; E_FAIL in a flat address space.
    HRESULT ChangePosition(OPCBROWSEDIRECTION direction, LPCWSTR name);

    // The names of the branches or leaves at the position (OPC_BRANCH, OPC_LEAF), or the
    // fully qualified ItemIDs of all leaves at and below it (OPC_FLAT), in name order.
    // Leaves are filtered by canonical type (VT_EMPTY: any) and access rights (0: any; else
    // some bit in common). S_FALSE when nothing matches, OPC_E_INVALIDFILTER for a malformed
    // name filter, E_INVALIDARG for an unknown browse type.
    HRESULT Browse(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType, DWORD rights,
                   std::vector<std::u16string>* names) const;

    // The fully qualified name of a leaf or branch named at the position, or of a fully
    // qualified ItemID; "" gives the position itself. OPC_E_UNKNOWNITEMID,
    // OPC_E_INVALIDITEMID, E_INVALIDARG for a null name.
    HRESULT GetItemId(LPCWSTR name, std::u16string* itemId) const;

    // The access paths of an item; S_FALSE when it has none. OPC_E_UNKNOWNITEMID,
    // E_INVALIDARG for a null ItemID.
    HRESULT AccessPaths(LPCWSTR itemId, std::vector<std::u16string>* paths) const;

private:
    std::shared_ptr<const AddressSpace> space_;
    mutable std::mutex mutex_;
    const BrowseNode* position_;
};

}  // namespace simserver
