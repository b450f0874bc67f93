// The item list's order: by one column, ascending or descending.
//
// Texts compare locale-aware and case-sensitive. The update count compares as a number with
// the higher count first in ascending order; the address column compares every pair equal.
// Ties of any column but the ItemID are broken by the ItemID, and a descending order negates
// the whole result, tie-break included.
#pragma once

#include <vector>

class CVItem;

struct ItemSortOrder {
    int column = 0;
    bool descending = false;
};

// Sorts `items` (not stable). Each text is produced once per sort, so values that change
// meanwhile cannot upset the order.
void SortItems(std::vector<CVItem*>& items, ItemSortOrder order);
