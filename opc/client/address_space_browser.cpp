#include "opc/client/address_space_browser.h"

#include "platform/com/bstr.h"
#include "platform/com/enums.h"
#include "platform/com/memory.h"

#include <array>
#include <unordered_set>

namespace {

// A hierarchy deeper than this is not one any server has; the steps up stop there.
constexpr int kMaxLevels = 1000;
// Names read per call of the enumerator.
constexpr ULONG kBatch = 1000;

const std::unordered_set<std::string>& ExcludedSuffixes() {
    static const std::unordered_set<std::string> suffixes{"DESC", "PRIOC", "PRIOA", "SALM", "PTYP",
                                                          "SYSN", "TREND", "UNIT", "USEN"};
    return suffixes;
}

}  // namespace

bool IsExcludedLeafName(const std::string& name) {
    const std::size_t underscore = name.rfind('_');
    return underscore != std::string::npos && ExcludedSuffixes().contains(name.substr(underscore + 1));
}

OPCNAMESPACETYPE AddressSpaceBrowser::Organization() const {
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    if (!browse_ || FAILED(browse_->QueryOrganization(&type))) return OPC_NS_HIERARCHIAL;
    return type;
}

void AddressSpaceBrowser::MoveToTop() const {
    if (!browse_) return;
    for (int level = 0; level < kMaxLevels; ++level)
        if (FAILED(browse_->ChangeBrowsePosition(OPC_BROWSE_UP, u""))) return;
}

void AddressSpaceBrowser::MoveToTopForLookup() const {
    if (!browse_) return;
    if (FAILED(browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u""))) MoveToTop();
}

void AddressSpaceBrowser::MoveTo(const std::vector<std::string>& path) const {
    if (!browse_) return;
    MoveToTop();
    for (const std::string& branch : path) browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, WideFromUtf8(branch).c_str());
}

std::optional<std::vector<std::string>> AddressSpaceBrowser::Browse(OPCBROWSETYPE type, const std::string& filter,
                                                                    VARTYPE vt, DWORD access) const {
    if (!browse_) return std::nullopt;
    ComPtr<IEnumString> names;
    const HRESULT hr = browse_->BrowseOPCItemIDs(type, WideFromUtf8(filter).c_str(), vt, access, names.put());
    if (FAILED(hr)) return std::nullopt;
    std::vector<std::string> found;
    if (!names) return found;  // S_FALSE: nothing there
    names->Reset();
    std::array<LPOLESTR, kBatch> batch{};
    while (found.size() < kMaxNames) {
        ULONG fetched = 0;
        const HRESULT next = names->Next(kBatch, batch.data(), &fetched);
        if (FAILED(next)) break;
        fetched = std::min<ULONG>(fetched, kBatch);
        for (ULONG i = 0; i < fetched; ++i) {
            if (batch[i]) found.push_back(Utf8FromWide(batch[i]));
            CoTaskMemFree(batch[i]);
            batch[i] = nullptr;
        }
        if (next != S_OK || fetched == 0) break;
    }
    return found;
}

std::optional<std::vector<std::string>> AddressSpaceBrowser::Branches(const std::string& filter) const {
    return Browse(OPC_BRANCH, filter, VT_EMPTY, 0);
}

std::optional<std::vector<std::string>> AddressSpaceBrowser::Leaves(bool flat, const std::string& filter,
                                                                    VARTYPE type, DWORD access) const {
    auto leaves = Browse(flat ? OPC_FLAT : OPC_LEAF, filter, type, access);
    if (leaves) std::erase_if(*leaves, IsExcludedLeafName);
    return leaves;
}

std::optional<std::string> AddressSpaceBrowser::ItemIdOf(const std::string& leaf) const {
    if (!browse_) return std::nullopt;
    std::u16string wide = WideFromUtf8(leaf);
    LPWSTR itemId = nullptr;
    const HRESULT hr = browse_->GetItemID(wide.data(), &itemId);
    std::optional<std::string> found;
    if (SUCCEEDED(hr) && itemId && *itemId) found = Utf8FromWide(itemId);
    CoTaskMemFree(itemId);
    return found;
}
