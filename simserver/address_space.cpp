#include "simserver/address_space.h"

#include <algorithm>

#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/hresult.h"

namespace simserver {

const BrowseNode* BrowseNode::Child(std::u16string_view childName) const {
    auto it = std::lower_bound(children.begin(), children.end(), childName,
                               [](const auto& node, std::u16string_view n) { return node->name < n; });
    return it != children.end() && (*it)->name == childName ? it->get() : nullptr;
}

AddressSpace::AddressSpace(const SimConfig& config) : flat_(config.flatNamespace), created_(FileTimeNow()) {
    for (const auto& [id, error] : config.addErrors) addErrors_[WideFromUtf8(id)] = error;
    BuildCatalogue(config.loadTagCount);
    for (const auto& [id, error] : config.writeErrors)
        if (Tag* tag = Find(WideFromUtf8(id))) tag->SetWriteError(error);
    for (const auto& tag : tags_) ordered_.push_back(tag.get());
    std::sort(ordered_.begin(), ordered_.end(), [](Tag* a, Tag* b) { return a->ItemId() < b->ItemId(); });
    BuildTree();
}

AddressSpace::~AddressSpace() = default;

Tag* AddressSpace::Add(TagSpec desc, Tag* word) {
    auto tag = std::make_unique<Tag>(std::move(desc), created_, word);
    Tag* raw = tag.get();
    byId_.emplace(raw->ItemId(), raw);
    tags_.push_back(std::move(tag));
    return raw;
}

Tag* AddressSpace::Find(std::u16string_view itemId) const {
    auto it = byId_.find(std::u16string(itemId));
    return it == byId_.end() ? nullptr : it->second;
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
    const BrowseNode* node = &root_;
    while (!path.empty() && node) {
        const auto dot = path.find(u'.');
        node = node->Child(path.substr(0, dot));
        path = dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot + 1);
    }
    return node && (node == &root_ || node->IsBranch()) ? node : nullptr;
}

// Every tag becomes a leaf; the parts of its ItemID before the last '.' become branches.
void AddressSpace::BuildTree() {
    for (Tag* tag : ordered_) {
        BrowseNode* node = &root_;
        std::u16string_view rest = tag->ItemId();
        while (true) {
            const auto dot = rest.find(u'.');
            const std::u16string_view part = rest.substr(0, dot);
            auto it = std::lower_bound(node->children.begin(), node->children.end(), part,
                                       [](const auto& n, std::u16string_view p) { return n->name < p; });
            if (it == node->children.end() || (*it)->name != part) {
                auto child = std::make_unique<BrowseNode>();
                child->name = std::u16string(part);
                child->path = node->path.empty() ? child->name : node->path + u'.' + child->name;
                child->parent = node;
                it = node->children.insert(it, std::move(child));
            }
            node = it->get();
            if (dot == std::u16string_view::npos) break;
            rest = rest.substr(dot + 1);
        }
        node->tag = tag;
    }
}

}  // namespace simserver
