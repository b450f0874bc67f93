#include "ui/items/item_list_model.h"

#include "opc/client/item.h"
#include "ui/items/item_cells.h"
#include "ui/resources/icons.h"

#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::size_t kGrowStep = 1024;

}  // namespace

ItemListModel::ItemListModel(QObject* parent)
    : QAbstractTableModel(parent),
      images_{LoadIcon("item_active"), LoadIcon("item_inactive"), LoadIcon("item_not_added")} {}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kItemColumnCount; }

CVItem* ItemListModel::ItemAt(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size() ? rows_[static_cast<std::size_t>(row)] : nullptr;
}

QString ItemListModel::CellText(int row, int column) const {
    const CVItem* item = ItemAt(row);
    if (!item || column < 0 || column >= kItemColumnCount) return {};
    return QString::fromStdString(ItemCellText(*item, column, registry_));
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    const CVItem* item = ItemAt(index.row());
    if (!item) return {};
    switch (role) {
    case Qt::DisplayRole: return CellText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() != kColumnItemId) return {};
        return images_[static_cast<int>(RowImageOf(*item))];
    case Qt::TextAlignmentRole: return int{Qt::AlignLeft | Qt::AlignVCenter};
    default: return {};
    }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(ItemColumnHeader(section));
    if (role == Qt::TextAlignmentRole) return int{Qt::AlignLeft | Qt::AlignVCenter};
    return {};
}

void ItemListModel::Reserve(std::size_t rows) {
    if (rows <= rows_.capacity()) return;
    rows_.reserve((rows + kGrowStep - 1) / kGrowStep * kGrowStep);
}

void ItemListModel::Assign(std::vector<CVItem*> items) {
    beginResetModel();
    rows_.clear();
    Reserve(items.size());
    rows_.insert(rows_.end(), items.begin(), items.end());
    endResetModel();
}

void ItemListModel::AppendRows(const std::vector<CVItem*>& items) {
    // Items listed already are left out: the list may have been rebuilt while they were added.
    std::unordered_set<const CVItem*> pending(items.begin(), items.end());
    for (const CVItem* row : rows_) {
        if (pending.empty()) break;
        pending.erase(row);
    }
    std::vector<CVItem*> fresh;
    for (CVItem* item : items)
        if (pending.erase(item)) fresh.push_back(item);
    if (fresh.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(fresh.size()) - 1);
    Reserve(rows_.size() + fresh.size());
    rows_.insert(rows_.end(), fresh.begin(), fresh.end());
    endInsertRows();
}

void ItemListModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ItemListModel::Sort(ItemSortOrder order) {
    if (rows_.size() < 2) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes (the selection's, an editor's) follow their items to the new rows.
    const QModelIndexList before = persistentIndexList();
    std::vector<const CVItem*> heldItems;
    heldItems.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) heldItems.push_back(rows_[static_cast<std::size_t>(index.row())]);
    SortItems(rows_, order);
    if (!before.isEmpty()) {
        std::unordered_map<const CVItem*, int> rowOf;
        rowOf.reserve(rows_.size());
        for (std::size_t row = 0; row < rows_.size(); ++row) rowOf.emplace(rows_[row], static_cast<int>(row));
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(rowOf.at(heldItems[static_cast<std::size_t>(i)]), before[i].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
