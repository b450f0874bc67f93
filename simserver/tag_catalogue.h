// A set of tags with its ItemID lookup and its browse tree. It is filled, finished, and never
// changes after that, so finished catalogues can be shared between server objects: every
// object of a server class with a million load tags uses one catalogue of them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opc/da/opc_types.h"
#include "simserver/tag.h"

namespace simserver {

// A node of a browse tree. A node is a branch when it has children and a leaf when it has a
// tag; a node can be both (a word item with its bit items below it).
struct BrowseNode {
    std::u16string name;  // the name within the parent
    std::u16string path;  // the fully qualified name (the ItemID of a leaf); "" for the root
    const BrowseNode* parent = nullptr;
    std::vector<const BrowseNode*> children;  // sorted by name
    Tag* tag = nullptr;

    bool IsBranch() const { return !children.empty(); }
    bool IsLeaf() const { return tag != nullptr; }
    const BrowseNode* Child(std::u16string_view childName) const;
};

class TagCatalogue {
public:
    explicit TagCatalogue(FILETIME created);
    ~TagCatalogue();
    TagCatalogue(const TagCatalogue&) = delete;
    TagCatalogue& operator=(const TagCatalogue&) = delete;

    // `word` is the word tag of a bit tag, else null. Only before Finish().
    Tag* Add(TagSpec desc, Tag* word = nullptr);
    // Orders the tags by ItemID and builds the browse tree from them.
    void Finish();

    // The tag of an ItemID, or null.
    Tag* Find(std::u16string_view itemId) const;
    // Every tag, in ItemID order (after Finish()).
    const std::vector<Tag*>& Ordered() const { return ordered_; }
    const BrowseNode& Root() const { return root_; }
    // Lists the top branches of `other` beside this catalogue's own, in name order; they stay
    // `other`'s, which must outlive this catalogue.
    void Graft(const TagCatalogue& other);

private:
    BrowseNode* NewNode(BrowseNode* parent, std::u16string_view name);

    FILETIME created_;
    std::vector<std::unique_ptr<Tag>> tags_;
    std::unordered_map<std::u16string_view, Tag*> byId_;  // keys view the tags' own ItemIDs
    std::vector<Tag*> ordered_;
    std::vector<std::unique_ptr<BrowseNode>> nodes_;
    BrowseNode root_;
};

// The catalogue of `count` load tags ("Load.T0000"...: ramps that change every millisecond),
// built once and shared by all who ask for the same count while any of them holds it.
std::shared_ptr<const TagCatalogue> SharedLoadCatalogue(unsigned count);

// Fills `catalogue` with the load tags (not finished).
void AddLoadTags(TagCatalogue& catalogue, unsigned count);
// Fills `catalogue` with the standard tags of every server (not finished).
void AddStandardTags(TagCatalogue& catalogue);

}  // namespace simserver
