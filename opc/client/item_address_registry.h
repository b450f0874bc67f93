// The one process-wide map of ItemID to forwarding address and of address to item. Items
// that share an ItemID share its address; the address names the first of them registered.
// New ItemIDs take the first free address of the run of taken addresses that begins at the
// lowest one, or the start address from OPC.cfg when nothing is taken at or below it.
//
// The application object takes the one instance and hands it to the project document and the
// data server; an item unregisters itself from it when it is deleted.
//
// No lock: every caller runs on the GUI thread (or the document's worker while the GUI holds
// its commands off).
#pragma once

#include <functional>
#include <map>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class CVItem;

class CItemAddressRegistry {
public:
    static CItemAddressRegistry& Instance();

    int Register(CVItem* item);
    void RegisterAt(CVItem* item, int address);
    void Unregister(CVItem* item);
    // Consecutive addresses from the start address, in the order of the old addresses.
    void Renumber();

    CVItem* FindByAddress(int address) const;
    // The taken addresses from `first` to `last` with their items, in ascending order: what
    // FindByAddress gives over a range, with one search. Valid until the next change.
    using Entry = std::pair<int, CVItem*>;
    std::span<const Entry> InRange(int first, int last) const;
    bool ContainsItemId(const std::string& itemId) const;
    int AddressOf(const std::string& itemId) const;  // -1 when absent

    // Where the start address comes from (OPC.cfg by default); for tests.
    void SetStartAddressSource(std::function<unsigned()> source);

    CItemAddressRegistry(const CItemAddressRegistry&) = delete;
    CItemAddressRegistry& operator=(const CItemAddressRegistry&) = delete;

private:
    CItemAddressRegistry();
    int NextFreeAddress(int start) const;
    void Take(int address, CVItem* item);
    void Release(int address);
    // The address map as one sorted array, rebuilt after a change: peers read ranges of it
    // far more often than items come and go.
    const std::vector<Entry>& Ordered() const;

    std::map<std::string, int> byItemId_;
    std::map<int, CVItem*> byAddress_;
    // The addresses that name each item: usually one, but an item loaded at a stored address
    // may stand there beside the address its ItemID names. Unregistering clears them all, so
    // no address outlives its item.
    std::unordered_multimap<const CVItem*, int> addressesOf_;
    // Runs of consecutive taken addresses, first -> last; keeps the first-gap search
    // logarithmic.
    std::map<long long, long long> runs_;
    std::function<unsigned()> startAddress_;
    mutable std::vector<Entry> ordered_;
    mutable bool orderedValid_ = false;
};
