#include "simserver/server_browse.h"

#include "platform/com/hresult.h"
#include "simserver/match_pattern.h"

namespace simserver {

namespace {

void CollectLeaves(const BrowseNode& node, std::vector<const BrowseNode*>& out) {
    for (const auto& child : node.children) {
        if (child->IsLeaf()) out.push_back(child);
        CollectLeaves(*child, out);
    }
}

bool LeafPasses(const Tag& tag, VARTYPE dataType, DWORD rights) {
    if (dataType != VT_EMPTY && tag.CanonicalType() != dataType) return false;
    return rights == 0 || (tag.AccessRights() & rights) != 0;
}

}  // namespace

BrowseSession::BrowseSession(std::shared_ptr<const AddressSpace> space)
    : space_(std::move(space)), position_(&space_->Root()) {}

HRESULT BrowseSession::ChangePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) {
    if (space_->IsFlat()) return E_FAIL;
    std::lock_guard lock(mutex_);
    switch (direction) {
    case OPC_BROWSE_UP:
        if (!position_->parent) return E_FAIL;
        // A shared catalogue's top branch has that catalogue's root above it: going up from
        // there reaches this server's root.
        position_ = position_->parent->parent ? position_->parent : &space_->Root();
        return S_OK;
    case OPC_BROWSE_DOWN: {
        if (!name) return E_INVALIDARG;
        const BrowseNode* child = position_->Child(name);
        if (!child || !child->IsBranch()) return E_INVALIDARG;
        position_ = child;
        return S_OK;
    }
    case OPC_BROWSE_TO: {
        const BrowseNode* target = space_->FindBranch(name ? std::u16string_view(name) : std::u16string_view());
        if (!target) return E_INVALIDARG;
        position_ = target;
        return S_OK;
    }
    }
    return E_INVALIDARG;
}

HRESULT BrowseSession::Browse(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType, DWORD rights,
                              std::vector<std::u16string>* names) const {
    if (type != OPC_BRANCH && type != OPC_LEAF && type != OPC_FLAT) return E_INVALIDARG;
    const std::u16string_view pattern = filter ? std::u16string_view(filter) : std::u16string_view();
    if (!MatchPattern(u"", pattern).has_value()) return OPC_E_INVALIDFILTER;
    auto accept = [&](std::u16string_view text) { return pattern.empty() || *MatchPattern(text, pattern); };

    names->clear();
    if (space_->IsFlat()) {
        // No branches; leaves are fully qualified ItemIDs either way.
        if (type != OPC_BRANCH)
            for (const Tag* tag : space_->Tags())
                if (LeafPasses(*tag, dataType, rights) && accept(tag->ItemId())) names->push_back(tag->ItemId());
        return names->empty() ? S_FALSE : S_OK;
    }

    std::lock_guard lock(mutex_);
    if (type == OPC_FLAT) {
        std::vector<const BrowseNode*> leaves;
        CollectLeaves(*position_, leaves);
        for (const BrowseNode* leaf : leaves)
            if (LeafPasses(*leaf->tag, dataType, rights) && accept(leaf->path)) names->push_back(leaf->path);
    } else {
        for (const auto& child : position_->children) {
            const bool wanted =
                type == OPC_BRANCH ? child->IsBranch() : child->IsLeaf() && LeafPasses(*child->tag, dataType, rights);
            if (wanted && accept(child->name)) names->push_back(child->name);
        }
    }
    return names->empty() ? S_FALSE : S_OK;
}

HRESULT BrowseSession::GetItemId(LPCWSTR name, std::u16string* itemId) const {
    if (!name) return E_INVALIDARG;
    const std::u16string_view wanted(name);
    if (!space_->IsFlat()) {
        std::lock_guard lock(mutex_);
        if (wanted.empty()) {
            *itemId = position_->path;
            return S_OK;
        }
        if (const BrowseNode* child = position_->Child(wanted)) {
            *itemId = child->path;
            return S_OK;
        }
    }
    if (space_->Find(wanted) || (!space_->IsFlat() && !wanted.empty() && space_->FindBranch(wanted))) {
        *itemId = std::u16string(wanted);
        return S_OK;
    }
    return AddressSpace::IsWellFormed(wanted) ? OPC_E_UNKNOWNITEMID : OPC_E_INVALIDITEMID;
}

HRESULT BrowseSession::AccessPaths(LPCWSTR itemId, std::vector<std::u16string>* paths) const {
    if (!itemId) return E_INVALIDARG;
    const Tag* tag = space_->Find(itemId);
    if (!tag) return AddressSpace::IsWellFormed(itemId) ? OPC_E_UNKNOWNITEMID : OPC_E_INVALIDITEMID;
    *paths = tag->AccessPaths();
    return paths->empty() ? S_FALSE : S_OK;
}

}  // namespace simserver
