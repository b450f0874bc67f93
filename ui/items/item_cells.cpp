#include "ui/items/item_cells.h"

#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/value_text.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"

std::string ItemColumnHeader(int column) {
    switch (column) {
    case kColumnItemId: return std::string(LoadString(IDS_COLUMN_ITEM_ID));
    case kColumnDataType: return std::string(LoadString(IDS_COLUMN_DATA_TYPE));
    case kColumnValue: return std::string(LoadString(IDS_COLUMN_VALUE));
    case kColumnTimestamp: return std::string(LoadString(IDS_COLUMN_TIMESTAMP));
    case kColumnQuality: return std::string(LoadString(IDS_COLUMN_QUALITY));
    case kColumnUpdateCount: return std::string(LoadString(IDS_COLUMN_UPDATE_COUNT));
    case kColumnAddress: return "ID";
    default: return {};
    }
}

std::string ItemCellText(const CVItem& item, int column, const CItemAddressRegistry* registry) {
    std::string text;
    switch (column) {
    case kColumnItemId: return item.itemId;
    case kColumnDataType: return VarTypeName(item.ShownType());
    case kColumnValue: item.FormatValue(text); return text;
    case kColumnTimestamp: item.FormatTimestamp(text); return text;
    case kColumnQuality: return item.FormatQuality();
    case kColumnUpdateCount: return std::to_string(item.GetUpdateCount());
    case kColumnAddress: return std::to_string(registry ? registry->AddressOf(item.itemId) : -1);
    default: return text;
    }
}

ItemRowImage RowImageOf(const CVItem& item) {
    if (!item.added) return ItemRowImage::kNotAdded;
    return item.active ? ItemRowImage::kActive : ItemRowImage::kInactive;
}
