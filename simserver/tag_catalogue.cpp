#include "simserver/tag_catalogue.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/com/filetime.h"

namespace simserver {

namespace {

bool NameBefore(const BrowseNode* node, std::u16string_view name) { return node->name < name; }

}  // namespace

const BrowseNode* BrowseNode::Child(std::u16string_view childName) const {
    auto it = std::lower_bound(children.begin(), children.end(), childName, NameBefore);
    return it != children.end() && (*it)->name == childName ? *it : nullptr;
}

TagCatalogue::TagCatalogue(FILETIME created) : created_(created) {}

TagCatalogue::~TagCatalogue() = default;

Tag* TagCatalogue::Add(TagSpec desc, Tag* word) {
    auto tag = std::make_unique<Tag>(std::move(desc), created_, word);
    Tag* raw = tag.get();
    tags_.push_back(std::move(tag));
    byId_.emplace(std::u16string_view(raw->ItemId()), raw);
    return raw;
}

Tag* TagCatalogue::Find(std::u16string_view itemId) const {
    auto it = byId_.find(itemId);
    return it == byId_.end() ? nullptr : it->second;
}

BrowseNode* TagCatalogue::NewNode(BrowseNode* parent, std::u16string_view name) {
    auto node = std::make_unique<BrowseNode>();
    node->name = std::u16string(name);
    node->path = parent->path.empty() ? node->name : parent->path + u'.' + node->name;
    node->parent = parent;
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

// Every tag becomes a leaf; the parts of its ItemID before the last '.' become branches.
void TagCatalogue::Finish() {
    ordered_.clear();
    ordered_.reserve(tags_.size());
    for (const auto& tag : tags_) ordered_.push_back(tag.get());
    std::sort(ordered_.begin(), ordered_.end(), [](Tag* a, Tag* b) { return a->ItemId() < b->ItemId(); });
    for (Tag* tag : ordered_) {
        BrowseNode* node = &root_;
        std::u16string_view rest = tag->ItemId();
        while (true) {
            const auto dot = rest.find(u'.');
            const std::u16string_view part = rest.substr(0, dot);
            auto it = std::lower_bound(node->children.begin(), node->children.end(), part, NameBefore);
            if (it == node->children.end() || (*it)->name != part) it = node->children.insert(it, NewNode(node, part));
            // The nodes of this catalogue are its own to change while it is built.
            node = const_cast<BrowseNode*>(*it);
            if (dot == std::u16string_view::npos) break;
            rest = rest.substr(dot + 1);
        }
        node->tag = tag;
    }
}

void TagCatalogue::Graft(const TagCatalogue& other) {
    for (const BrowseNode* top : other.root_.children) {
        auto it = std::lower_bound(root_.children.begin(), root_.children.end(), std::u16string_view(top->name),
                                   NameBefore);
        root_.children.insert(it, top);
    }
}

std::shared_ptr<const TagCatalogue> SharedLoadCatalogue(unsigned count) {
    static std::mutex mutex;
    static std::map<unsigned, std::weak_ptr<const TagCatalogue>> built;
    // Held while building, so that a second server object waits for the one catalogue
    // instead of building its own.
    std::lock_guard<std::mutex> lock(mutex);
    if (auto existing = built[count].lock()) return existing;
    auto catalogue = std::make_shared<TagCatalogue>(FileTimeNow());
    AddLoadTags(*catalogue, count);
    catalogue->Finish();
    built[count] = catalogue;
    return catalogue;
}

}  // namespace simserver
