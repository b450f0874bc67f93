// What the item list shows of one item: the text of each of its seven columns and the row's
// image. Produced on demand from the item itself; the list keeps no copies.
#pragma once

#include <string>

class CItemAddressRegistry;
class CVItem;

enum ItemColumn : int {
    kColumnItemId = 0,
    kColumnDataType = 1,
    kColumnValue = 2,
    kColumnTimestamp = 3,
    kColumnQuality = 4,
    kColumnUpdateCount = 5,
    kColumnAddress = 6,
    kItemColumnCount = 7,
};

// The header text of a column.
std::string ItemColumnHeader(int column);

// The cell text. The data type is that of the current value, or the requested type while
// the value is empty; the address is the registry's for the ItemID, -1 when it has none (or
// there is no registry).
std::string ItemCellText(const CVItem& item, int column, const CItemAddressRegistry* registry);

enum class ItemRowImage { kActive = 0, kInactive = 1, kNotAdded = 2 };
ItemRowImage RowImageOf(const CVItem& item);
