// The simulation server's address space: a tree of branches (ItemIDs separated by '.') whose
// leaves are tags, and the lookup of ItemIDs. One address space belongs to one server object;
// its shape never changes after construction, only the values of writable tags do.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "simserver/sim_config.h"
#include "simserver/tag.h"

namespace simserver {

// A node of the browse tree. A node is a branch when it has children and a leaf when it has
// a tag; a node can be both (a word item with its bit items below it).
struct BrowseNode {
    std::u16string name;  // the name within the parent
    std::u16string path;  // the fully qualified name (the ItemID of a leaf); "" for the root
    const BrowseNode* parent = nullptr;
    std::vector<std::unique_ptr<BrowseNode>> children;  // sorted by name
    Tag* tag = nullptr;

    bool IsBranch() const { return !children.empty(); }
    bool IsLeaf() const { return tag != nullptr; }
    const BrowseNode* Child(std::u16string_view childName) const;
};

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
    const BrowseNode& Root() const { return root_; }
    // Every tag, in ItemID order.
    const std::vector<Tag*>& Tags() const { return ordered_; }
    // The branch with this fully qualified name ("" is the root), or null.
    const BrowseNode* FindBranch(std::u16string_view path) const;

private:
    Tag* Add(TagSpec desc, Tag* word = nullptr);
    void BuildCatalogue(unsigned loadTagCount);
    void BuildTree();

    bool flat_ = false;
    FILETIME created_;
    std::vector<std::unique_ptr<Tag>> tags_;
    std::vector<Tag*> ordered_;
    std::unordered_map<std::u16string, Tag*> byId_;
    std::map<std::u16string, HRESULT> addErrors_;
    BrowseNode root_;
};

}  // namespace simserver
