// The group tree and item list panes until their own views exist: empty widgets that take
// part in the document's views and the command route like the real ones will.
#pragma once

#include "docview/view.h"

#include <QTableView>
#include <QTreeWidget>

class GroupTreePane : public QTreeWidget, public View {
public:
    explicit GroupTreePane(QWidget* parent = nullptr);
};

class ItemListPane : public QTableView, public View {
public:
    explicit ItemListPane(QWidget* parent = nullptr);
    int SelectedItemCount() const;
};
