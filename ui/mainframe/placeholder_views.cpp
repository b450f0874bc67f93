#include "ui/mainframe/placeholder_views.h"

#include <QHeaderView>

GroupTreePane::GroupTreePane(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
}
