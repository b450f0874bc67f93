// The simulation server's address space: a tree of branches (ItemIDs separated by '.') whose
// leaves are tags, and the lookup of ItemIDs. One address space belongs to one server object;
// its shape never changes after construction, only the values of writable tags do. The load
// tags are read-only and the same for every object, so their catalogue is shared.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <map>
#include <vector>

#include "simserver/sim_config.h"
#include "simserver/tag_catalogue.h"

namespace simserver {

class AddressSpace {
public:
    explicit AddressSpace(const SimConfig& config);
    ~AddressSpace();
    AddressSpace(const AddressSpace&) = delete;
    AddressSpace& operator=(const AddressSpace&) = delete;

    // The tag of an ItemID, or null. Ignores the configured add errors.
    Tag* Find(std::u16string_view itemId) const;

    // The tag for an item definition as AddItems and ValidateItems judge it: S_OK,
    // OPC_E_INVALIDITEMID (null, empty or malformed ItemID), OPC_E_UNKNOWNITEMID,
    // OPC_E_UNKNOWNPATH (an access path the tag does not accept), or the add error the
    // configuration gives the ItemID.
    HRESULT Resolve(LPCWSTR itemId, LPCWSTR accessPath, Tag** tag) const;

    // True for a well-formed ItemID: not empty, no empty part between dots, no control
    // characters.
    static bool IsWellFormed(std::u16string_view itemId);

    bool IsFlat() const { return flat_; }
    const BrowseNode& Root() const { return own_.Root(); }
    // Every tag, in ItemID order.
    const std::vector<Tag*>& Tags() const { return ordered_; }
    // The branch with this fully qualified name ("" is the root), or null.
    const BrowseNode* FindBranch(std::u16string_view path) const;

private:
    bool flat_ = false;
    std::shared_ptr<const TagCatalogue> load_;  // before own_, whose tree lists its branches
    TagCatalogue own_;                          // the standard tags, this object's alone
    std::vector<Tag*> ordered_;                 // both catalogues' tags
    std::map<std::u16string, HRESULT> addErrors_;
};

}  // namespace simserver
