// The item list's rows: an array of pointers to the items of the shown group, borrowed from
// it (the document rebuilds or clears the list before a listed item is deleted). Cells are
// produced on demand from the items; rows beyond the array give nothing.
#pragma once

#include "ui/items/item_sort.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

class CItemAddressRegistry;
class CVItem;

class ItemListModel : public QAbstractTableModel {
public:
    explicit ItemListModel(QObject* parent = nullptr);

    // Where column 6 finds the addresses; without one it shows -1 for every item.
    void SetRegistry(const CItemAddressRegistry* registry) { registry_ = registry; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The item of `row`, null beyond the rows.
    CVItem* ItemAt(int row) const;
    const std::vector<CVItem*>& Items() const { return rows_; }

    // Replaces the rows with `items`, in their order.
    void Assign(std::vector<CVItem*> items);
    // Appends `items` behind the rows.
    void AppendRows(const std::vector<CVItem*>& items);
    void Clear();
    // Sorts the rows in place; the caller keeps the selection (rows change their items).
    void Sort(ItemSortOrder order);

    // The cell text as shown; empty for cells beyond the rows.
    QString CellText(int row, int column) const;

private:
    // The array grows in steps of 1024 entries.
    void Reserve(std::size_t rows);

    std::vector<CVItem*> rows_;
    const CItemAddressRegistry* registry_ = nullptr;
    QIcon images_[3];
};
