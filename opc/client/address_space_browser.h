// Browsing a server's address space for the add item dialog, over its
// IOPCBrowseServerAddressSpace: where the browse position is moved, which branches and leaves
// a branch has, and the fully qualified ItemID of a leaf. A failed call gives nothing; what a
// server hands back is bounded (names per listing, steps up to the top), so a server that
// never stops answering cannot hold the caller for ever.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Leaves named like a point's auxiliary fields (PUMP1_UNIT, TIC101_DESC) are not listed.
bool IsExcludedLeafName(const std::string& name);

class AddressSpaceBrowser {
public:
    // More names than this in one listing are not read.
    static constexpr std::size_t kMaxNames = 2'000'000;

    explicit AddressSpaceBrowser(ComPtr<IOPCBrowseServerAddressSpace> browse) : browse_(std::move(browse)) {}

    // OPC_NS_HIERARCHIAL or OPC_NS_FLAT; a failed query counts as hierarchical.
    OPCNAMESPACETYPE Organization() const;
    // Up until the server refuses: the top of a hierarchical space.
    void MoveToTop() const;
    // The top as ItemID lookups of flat listings need it: OPC_BROWSE_TO "", else MoveToTop.
    void MoveToTopForLookup() const;
    // The top, then down into each branch of `path` (topmost first); refusals are ignored.
    void MoveTo(const std::vector<std::string>& path) const;

    // The branches at the browse position; nothing when the call fails.
    std::optional<std::vector<std::string>> Branches(const std::string& filter) const;
    // The leaves at the browse position (or, `flat`, all below it) that pass the filters,
    // without the excluded ones; nothing when the call fails.
    std::optional<std::vector<std::string>> Leaves(bool flat, const std::string& filter, VARTYPE type,
                                                   DWORD access) const;
    // The fully qualified ItemID of a leaf at the browse position; nothing when the server
    // cannot say.
    std::optional<std::string> ItemIdOf(const std::string& leaf) const;

private:
    std::optional<std::vector<std::string>> Browse(OPCBROWSETYPE type, const std::string& filter, VARTYPE vt,
                                                   DWORD access) const;

    ComPtr<IOPCBrowseServerAddressSpace> browse_;
};
