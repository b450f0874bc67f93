#include "ui/mainframe/placeholder_views.h"

#include <QHeaderView>
#include <QItemSelectionModel>

GroupTreePane::GroupTreePane(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
}

ItemListPane::ItemListPane(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
}

int ItemListPane::SelectedItemCount() const {
    const QItemSelectionModel* selection = selectionModel();
    return selection ? static_cast<int>(selection->selectedRows().size()) : 0;
}
