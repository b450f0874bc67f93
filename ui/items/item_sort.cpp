#include "ui/items/item_sort.h"

#include "opc/client/item.h"
#include "ui/items/item_cells.h"

#include <QCollator>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// One row's sort keys: the column's key (a collation key, or the update count) and the
// ItemID's collation key for the tie-break.
struct SortEntry {
    CVItem* item;
    QCollatorSortKey key;
    QCollatorSortKey itemIdKey;
    DWORD count;
};

QCollatorSortKey KeyOf(const QCollator& collator, const std::string& text) {
    return collator.sortKey(QString::fromStdString(text));
}

}  // namespace

void SortItems(std::vector<CVItem*>& items, ItemSortOrder order) {
    if (items.size() < 2) return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    const bool textColumn = order.column >= kColumnItemId && order.column <= kColumnQuality;

    std::vector<SortEntry> entries;
    entries.reserve(items.size());
    const QCollatorSortKey none = collator.sortKey(QString());
    for (CVItem* item : items) {
        QCollatorSortKey idKey = KeyOf(collator, item->itemId);
        QCollatorSortKey key =
            order.column == kColumnItemId ? idKey
            : textColumn                  ? KeyOf(collator, ItemCellText(*item, order.column, nullptr))
                                          : none;
        const DWORD count = order.column == kColumnUpdateCount ? item->GetUpdateCount() : 0;
        entries.push_back(SortEntry{item, std::move(key), std::move(idKey), count});
    }

    const auto compare = [&order](const SortEntry& a, const SortEntry& b) {
        int result = 0;
        if (order.column == kColumnUpdateCount)
            result = a.count == b.count ? 0 : (a.count > b.count ? -1 : 1);
        else if (order.column != kColumnAddress)
            result = a.key.compare(b.key);
        if (order.column != kColumnItemId && result == 0) result = a.itemIdKey.compare(b.itemIdKey);
        return order.descending ? -result : result;
    };
    std::sort(entries.begin(), entries.end(),
              [&compare](const SortEntry& a, const SortEntry& b) { return compare(a, b) < 0; });
    for (std::size_t i = 0; i < entries.size(); ++i) items[i] = entries[i].item;
}
