#include "ui/items/leaf_list_model.h"

#include "ui/resources/icons.h"

LeafListModel::LeafListModel(QObject* parent)
    : QAbstractListModel(parent), notAdded_(LoadIcon("item_inactive")), added_(LoadIcon("item_good")) {}

void LeafListModel::SetSortedLeaves(std::vector<std::string> names) {
    beginResetModel();
    leaves_.clear();
    leaves_.reserve(names.size());
    for (std::string& name : names) leaves_.push_back({std::move(name), false});
    endResetModel();
}

void LeafListModel::MarkAdded(int row) {
    if (row < 0 || row >= rowCount()) return;
    leaves_[static_cast<std::size_t>(row)].added = true;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

int LeafListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(leaves_.size());
}

QVariant LeafListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Leaf& leaf = leaves_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return QString::fromStdString(leaf.name);
    if (role == Qt::DecorationRole) return leaf.added ? added_ : notAdded_;
    return {};
}
