#include "rpc/sink_callback.h"

namespace rpc {

namespace {

constexpr WORD kQualityMask = 0xC0;
constexpr WORD kQualityGood = 0xC0;

bool SameItems(const Callback& a, const Callback& b) {
    if (a.items.size() != b.items.size()) return false;
    for (std::size_t i = 0; i < a.items.size(); ++i)
        if (a.items[i].handle != b.items[i].handle) return false;
    return true;
}

}  // namespace

void MergeDataChanges(Callback& older, Callback&& newer) {
    // Usually every item changed again: the newer callback replaces the older one whole.
    if (SameItems(older, newer)) {
        older.masterQuality = newer.masterQuality;
        older.masterError = newer.masterError;
        older.items = std::move(newer.items);
        return;
    }
    auto& index = older.index;
    if (index.empty())
        for (std::size_t i = 0; i < older.items.size(); ++i) index.emplace(older.items[i].handle, i);
    for (ItemCallback& item : newer.items) {
        auto [found, added] = index.emplace(item.handle, older.items.size());
        if (added)
            older.items.push_back(std::move(item));
        else
            older.items[found->second] = std::move(item);
    }
    // S_OK only when every item held is of good quality, and without an error.
    bool allGood = true;
    bool noErrors = true;
    for (const ItemCallback& item : older.items) {
        allGood = allGood && (item.quality & kQualityMask) == kQualityGood;
        noErrors = noErrors && item.error == S_OK;
    }
    older.masterQuality = allGood ? S_OK : S_FALSE;
    older.masterError = noErrors ? S_OK : S_FALSE;
}

}  // namespace rpc
