#include "opc/client/item_address_registry.h"

#include "opc/client/item.h"
#include "platform/config/start_address_cache.h"

#include <algorithm>
#include <climits>
#include <vector>

CItemAddressRegistry& CItemAddressRegistry::Instance() {
    static auto* registry = new CItemAddressRegistry();  // lives until the process ends
    return *registry;
}

CItemAddressRegistry::CItemAddressRegistry() : startAddress_(ReadStartAddressCached) {}

void CItemAddressRegistry::SetStartAddressSource(std::function<unsigned()> source) {
    startAddress_ = source ? std::move(source) : std::function<unsigned()>(ReadStartAddressCached);
}

// Walking the taken addresses upwards from the lowest: while an address is at or below the
// candidate, the candidate moves past it. That ends one past the first run when the lowest
// address is at or below the start, and at the start otherwise.
int CItemAddressRegistry::NextFreeAddress(int start) const {
    if (runs_.empty() || runs_.begin()->first > start) return start;
    long long candidate = runs_.begin()->second + 1;
    if (candidate <= INT_MAX) return static_cast<int>(candidate);
    // The lowest run reaches the top of the range (only a crafted project file does that):
    // take the first gap at or above the start instead, never a wrapped address.
    candidate = start;
    for (const auto& [first, last] : runs_)
        if (first <= candidate && candidate <= last) candidate = last + 1;
    if (candidate <= INT_MAX) return static_cast<int>(candidate);
    for (candidate = start - 1; candidate >= 0; --candidate)
        if (!byAddress_.count(static_cast<int>(candidate))) break;
    return static_cast<int>(candidate);
}

std::span<const CItemAddressRegistry::Entry> CItemAddressRegistry::InRange(int first, int last) const {
    const std::vector<Entry>& ordered = Ordered();
    // `last` may be INT_MAX: the end is searched as a 64-bit number.
    const auto below = [](const Entry& entry, long long address) { return entry.first < address; };
    const auto begin = std::lower_bound(ordered.begin(), ordered.end(), first, below);
    const auto end = std::lower_bound(begin, ordered.end(), last + 1LL, below);
    return {begin, end};
}

const std::vector<CItemAddressRegistry::Entry>& CItemAddressRegistry::Ordered() const {
    if (!orderedValid_) {
        ordered_.assign(byAddress_.begin(), byAddress_.end());
        orderedValid_ = true;
    }
    return ordered_;
}

void CItemAddressRegistry::Take(int address, CVItem* item) {
    byAddress_[address] = item;
    addressesOf_.emplace(item, address);
    orderedValid_ = false;
    auto next = runs_.find(address + 1LL);
    auto it = runs_.upper_bound(address);
    long long first = address;
    if (it != runs_.begin()) {
        auto prev = std::prev(it);
        if (prev->second + 1 == address) first = prev->first;
    }
    long long last = address;
    if (next != runs_.end()) {
        last = next->second;
        runs_.erase(next);
    }
    runs_[first] = last;
}

void CItemAddressRegistry::Release(int address) {
    const auto entry = byAddress_.find(address);
    if (entry == byAddress_.end()) return;
    const auto [owned, ownedEnd] = addressesOf_.equal_range(entry->second);
    for (auto it = owned; it != ownedEnd; ++it) {
        if (it->second == address) {
            addressesOf_.erase(it);
            break;
        }
    }
    byAddress_.erase(entry);
    orderedValid_ = false;
    auto it = std::prev(runs_.upper_bound(address));  // the run holding the address
    const long long first = it->first;
    const long long last = it->second;
    runs_.erase(it);
    if (first < address) runs_[first] = address - 1;
    if (address < last) runs_[address + 1] = last;
}

int CItemAddressRegistry::Register(CVItem* item) {
    if (auto it = byItemId_.find(item->itemId); it != byItemId_.end()) return it->second;
    const unsigned configured = startAddress_();
    const int start = configured > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(configured);
    const int address = NextFreeAddress(start);
    byItemId_.emplace(item->itemId, address);
    Take(address, item);
    return address;
}

void CItemAddressRegistry::RegisterAt(CVItem* item, int address) {
    if (address < 0 || byAddress_.count(address)) {
        Register(item);
        return;
    }
    Take(address, item);
    byItemId_[item->itemId] = address;
}

void CItemAddressRegistry::Unregister(CVItem* item) {
    const int address = AddressOf(item->itemId);
    Release(address);
    byItemId_.erase(item->itemId);
    // Addresses where the item stands under an ItemID that names another address now.
    for (auto it = addressesOf_.find(item); it != addressesOf_.end(); it = addressesOf_.find(item)) Release(it->second);
}

void CItemAddressRegistry::Renumber() {
    std::vector<CVItem*> items;
    items.reserve(byAddress_.size());
    for (const auto& [address, item] : byAddress_) items.push_back(item);
    byItemId_.clear();
    byAddress_.clear();
    addressesOf_.clear();
    runs_.clear();
    orderedValid_ = false;
    for (CVItem* item : items) Register(item);
}

CVItem* CItemAddressRegistry::FindByAddress(int address) const {
    auto it = byAddress_.find(address);
    return it == byAddress_.end() ? nullptr : it->second;
}

bool CItemAddressRegistry::ContainsItemId(const std::string& itemId) const { return byItemId_.count(itemId) != 0; }

int CItemAddressRegistry::AddressOf(const std::string& itemId) const {
    auto it = byItemId_.find(itemId);
    return it == byItemId_.end() ? -1 : it->second;
}
