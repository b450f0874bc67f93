#include "ui/items/item_record_editor.h"

#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/items/item_name_generator.h"

#include <cstdio>

namespace {

struct ValidateResult {
    HRESULT hr = E_FAIL;           // the item's result
    VARTYPE canonical = VT_EMPTY;  // when it is S_OK
};

ValidateResult ValidateOne(IOPCItemMgt& itemMgt, const ItemDraft& record, VARTYPE requested) {
    std::u16string accessPath = WideFromUtf8(record.accessPath);
    std::u16string itemId = WideFromUtf8(record.itemId);
    OPCITEMDEF definition;
    definition.szAccessPath = record.accessPath.empty() ? nullptr : accessPath.data();
    definition.szItemID = itemId.data();
    definition.bActive = record.active ? TRUE : FALSE;
    definition.vtRequestedDataType = requested;
    TaskMemArray<OPCITEMRESULT> results([](OPCITEMRESULT& r) { CoTaskMemFree(r.pBlob); });
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = itemMgt.ValidateItems(1, &definition, FALSE, results.put(), errors.put());
    results.SetFilled(results ? 1 : 0);
    ValidateResult result;
    if (hr == S_OK && results) {
        result.hr = S_OK;
        result.canonical = results[0].vtCanonicalDataType;
    } else {
        result.hr = SUCCEEDED(hr) && errors ? errors[0] : (SUCCEEDED(hr) ? E_FAIL : hr);
    }
    return result;
}

}  // namespace

ItemRecordEditor::ItemRecordEditor(CVGroup& group, CItemAddressRegistry& registry, ComPtr<IOPCItemMgt> itemMgt)
    : group_(group), registry_(registry), itemMgt_(std::move(itemMgt)) {}

ItemRecordEditor::~ItemRecordEditor() { DiscardAll(); }

void ItemRecordEditor::DiscardAll() {
    // Last made first, so that an ItemID shared among them is given back in the order taken.
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) Unregister(*it, true);
    items_.clear();
    Load(0);
}

// Unregistering an item that shares its ItemID with another gives the address up for both;
// the other item (one of the project's, say) keeps it here.
void ItemRecordEditor::Unregister(CVItem* item, bool deleteItem) {
    const int address = registry_.AddressOf(item->itemId);
    CVItem* holder = registry_.FindByAddress(address);
    if (holder == item) holder = nullptr;
    if (deleteItem)
        delete item;  // which unregisters it
    else
        registry_.Unregister(item);
    if (holder && !registry_.ContainsItemId(holder->itemId)) registry_.RegisterAt(holder, address);
}

void ItemRecordEditor::Edit(const ItemDraft& record) {
    record_ = record;
    dirty_ = !record_.itemId.empty();
}

void ItemRecordEditor::NewRecordFor(const std::string& itemId) {
    current_ = Count();
    record_.itemId = itemId;
    record_.accessPath.clear();
    dirty_ = true;
}

std::string ItemRecordEditor::ValidationText(unsigned messageId, const std::string& itemId, HRESULT hr) {
    std::string text(LoadString(messageId));
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"%1", itemId}, {"%2", code}})
        if (const std::size_t at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), value);
    return text;
}

ItemRecordEditor::Validation ItemRecordEditor::Validate(bool checkBit) {
    Validation validation;
    if (!itemMgt_) {
        validation.hr = kNoItemManagement;
        return validation;
    }
    const ValidateResult result = ValidateOne(*itemMgt_, record_, record_.dataType);
    validation.hr = result.hr;
    if (result.hr != S_OK) return validation;
    record_.dataType = result.canonical;
    dirty_ = true;
    // A boolean whose ID without its last part names a word item is a bit of that word.
    const std::size_t dot = record_.itemId.rfind('.');
    if (checkBit && result.canonical == VT_BOOL && dot != std::string::npos) {
        ItemDraft word = record_;
        word.itemId.resize(dot);
        const ValidateResult parent = ValidateOne(*itemMgt_, word, VT_EMPTY);
        validation.isBitOfWord = SUCCEEDED(parent.hr) && parent.canonical != VT_EMPTY && parent.canonical != VT_BOOL;
    }
    return validation;
}

bool ItemRecordEditor::Store() {
    if (!dirty_) return true;
    if (autoValidate) {
        const Validation validation = Validate(false);
        if (validation.hr != S_OK &&
            !(askAddAnyway &&
              askAddAnyway(ValidationText(IDS_ITEM_VALIDATION_ASK, record_.itemId, validation.hr))))
            return false;
    }
    CVItem* item = nullptr;
    if (current_ >= Count()) {
        item = new CVItem(&group_);
        items_.push_back(item);
        current_ = Count() - 1;
    } else {
        item = items_[static_cast<std::size_t>(current_)];
        Unregister(item, false);  // under the ItemID it had
    }
    item->accessPath = record_.accessPath;
    item->active = record_.active ? TRUE : FALSE;
    item->SetDataType(record_.dataType);
    item->itemId = record_.itemId;
    registry_.Register(item);
    dirty_ = false;
    return true;
}

void ItemRecordEditor::Clear() {
    record_ = ItemDraft{};
    dirty_ = false;
}

void ItemRecordEditor::Load(int index) {
    if (index >= Count()) {
        current_ = Count();
        Clear();
        return;
    }
    current_ = index;
    const CVItem& item = *items_[static_cast<std::size_t>(index)];
    record_.accessPath = item.accessPath;
    record_.active = item.active != FALSE;
    record_.itemId = item.itemId;
    record_.dataType = item.ShownType();
    dirty_ = false;
}

bool ItemRecordEditor::GoNew() {
    if (!Store()) return false;
    Load(Count());
    return true;
}

bool ItemRecordEditor::GoNext() {
    if (!Store()) return false;
    if (current_ < Count()) Load(current_ + 1);
    return true;
}

bool ItemRecordEditor::GoPrevious() {
    if (!Store()) return false;
    if (current_ > 0) Load(current_ - 1);
    return true;
}

bool ItemRecordEditor::DeleteCurrent() {
    if (!Store()) return false;
    if (current_ >= Count()) return true;
    Unregister(items_[static_cast<std::size_t>(current_)], true);
    items_.erase(items_.begin() + current_);
    if (current_ >= Count() && current_ > 0) --current_;
    Load(current_);
    return true;
}

bool ItemRecordEditor::Duplicate(int count, bool isBitOfWord) {
    for (int i = 0; i < count; ++i) {
        if (!Store()) continue;  // declined: the next round tries the same record again
        const std::optional<std::string> next = NextItemId(record_.itemId, isBitOfWord);
        if (!next) return false;
        current_ = Count();  // a new record; path, active and type stay
        record_.itemId = *next;
        dirty_ = true;
    }
    return true;
}

std::vector<CVItem*> ItemRecordEditor::TakeItems() {
    std::vector<CVItem*> taken;
    taken.swap(items_);
    Load(0);
    return taken;
}
