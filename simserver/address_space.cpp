#include "simserver/address_space.h"

#include <algorithm>

#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/hresult.h"

namespace simserver {

AddressSpace::AddressSpace(const SimConfig& config) : flat_(config.flatNamespace), own_(FileTimeNow()) {
    for (const auto& [id, error] : config.addErrors) addErrors_[WideFromUtf8(id)] = error;
    AddStandardTags(own_);
    own_.Finish();
    // Write errors change a tag, so they reach only this object's own tags.
    for (const auto& [id, error] : config.writeErrors)
        if (Tag* tag = own_.Find(WideFromUtf8(id))) tag->SetWriteError(error);
    ordered_ = own_.Ordered();
    if (config.loadTagCount > 0) {
        load_ = SharedLoadCatalogue(config.loadTagCount);
        own_.Graft(*load_);
        const std::vector<Tag*>& load = load_->Ordered();
        std::vector<Tag*> merged(ordered_.size() + load.size());
        std::merge(ordered_.begin(), ordered_.end(), load.begin(), load.end(), merged.begin(),
                   [](const Tag* a, const Tag* b) { return a->ItemId() < b->ItemId(); });
        ordered_ = std::move(merged);
    }
}

AddressSpace::~AddressSpace() = default;

Tag* AddressSpace::Find(std::u16string_view itemId) const {
    if (Tag* tag = own_.Find(itemId)) return tag;
    return load_ ? load_->Find(itemId) : nullptr;
}

bool AddressSpace::IsWellFormed(std::u16string_view itemId) {
    if (itemId.empty() || itemId.front() == u'.' || itemId.back() == u'.') return false;
    if (itemId.find(u"..") != std::u16string_view::npos) return false;
    return std::none_of(itemId.begin(), itemId.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

HRESULT AddressSpace::Resolve(LPCWSTR itemId, LPCWSTR accessPath, Tag** tag) const {
    *tag = nullptr;
    if (!itemId) return OPC_E_INVALIDITEMID;
    const std::u16string id(itemId);
    if (auto it = addErrors_.find(id); it != addErrors_.end()) return it->second;
    if (!IsWellFormed(id)) return OPC_E_INVALIDITEMID;
    Tag* found = Find(id);
    if (!found) return OPC_E_UNKNOWNITEMID;
    if (!found->AcceptsAccessPath(accessPath ? std::u16string_view(accessPath) : std::u16string_view()))
        return OPC_E_UNKNOWNPATH;
    *tag = found;
    return S_OK;
}

const BrowseNode* AddressSpace::FindBranch(std::u16string_view path) const {
    const BrowseNode* root = &own_.Root();
    const BrowseNode* node = root;
    while (!path.empty() && node) {
        const auto dot = path.find(u'.');
        node = node->Child(path.substr(0, dot));
        path = dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot + 1);
    }
    return node && (node == root || node->IsBranch()) ? node : nullptr;
}

}  // namespace simserver
