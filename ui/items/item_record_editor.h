// The add item dialog's record editor, without widgets: the record being edited (access path,
// ItemID, requested data type, active), the new items the dialog has made so far and which of
// them the record is, storing the record into an item (validated with the server when asked),
// moving between the items, deleting one and duplicating the record under counted names.
// The items belong to the editor until TakeItems(); whatever is left is deleted with it, which
// also gives their forwarding addresses back.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

#include <functional>
#include <string>
#include <vector>

class CItemAddressRegistry;
class CVGroup;
class CVItem;

struct ItemDraft {
    std::string accessPath;
    std::string itemId;
    VARTYPE dataType = VT_EMPTY;
    bool active = true;
    bool operator==(const ItemDraft&) const = default;
};

class ItemRecordEditor {
public:
    // Validation without the group's item management interface fails with this.
    static constexpr HRESULT kNoItemManagement = E_NOINTERFACE;

    ItemRecordEditor(CVGroup& group, CItemAddressRegistry& registry, ComPtr<IOPCItemMgt> itemMgt);
    ~ItemRecordEditor();  // deletes the items not taken
    ItemRecordEditor(const ItemRecordEditor&) = delete;
    ItemRecordEditor& operator=(const ItemRecordEditor&) = delete;

    // Asked, with the question's text, when a record fails validation while stored: true adds
    // it anyway. Without one the record is not stored.
    std::function<bool(const std::string& question)> askAddAnyway;
    bool autoValidate = false;

    const ItemDraft& Record() const { return record_; }
    bool IsDirty() const { return dirty_; }
    int CurrentIndex() const { return current_; }
    int Count() const { return static_cast<int>(items_.size()); }
    const std::vector<CVItem*>& Items() const { return items_; }
    bool CanValidate() const { return itemMgt_ && !record_.itemId.empty(); }

    // The operator edited the record: dirty while it names an ItemID.
    void Edit(const ItemDraft& record);
    // A new record for `itemId` (empty access path, the rest kept), dirty.
    void NewRecordFor(const std::string& itemId);

    struct Validation {
        HRESULT hr = E_FAIL;
        bool isBitOfWord = false;
    };
    // Asks the server about the record; on S_OK the record takes the canonical data type and
    // is dirty. With `checkBit`, also whether the item is a bit of a word item.
    Validation Validate(bool checkBit);
    // "Item validation for '<id>' failed (0x........)." (or the question form).
    static std::string ValidationText(unsigned messageId, const std::string& itemId, HRESULT hr);

    // Stores a dirty record into its item (a new one when the record is new) and registers
    // it; false when the operator declined a record that failed validation.
    bool Store();
    // Navigation; each stores the record first and does nothing when that fails.
    bool GoNew();
    bool GoNext();
    bool GoPrevious();
    bool DeleteCurrent();
    // Duplicate Item after the count dialog: `count` times, store and count the ItemID up.
    // False, with the record left at the last name made, when a name would be too long.
    bool Duplicate(int count, bool isBitOfWord);

    // The items made, in creation order, now the caller's.
    std::vector<CVItem*> TakeItems();
    // Deletes the items made (Cancel), giving their addresses back.
    void DiscardAll();

private:
    void Load(int index);
    void Clear();
    void Unregister(CVItem* item, bool deleteItem);

    CVGroup& group_;
    CItemAddressRegistry& registry_;
    ComPtr<IOPCItemMgt> itemMgt_;
    ItemDraft record_;
    bool dirty_ = false;
    int current_ = 0;
    std::vector<CVItem*> items_;
};
