// The group tree pane until its own view exists: an empty widget that takes part in the
// document's views and the command route like the real one will.
#pragma once

#include "docview/view.h"

#include <QTreeWidget>

class GroupTreePane : public QTreeWidget, public View {
public:
    explicit GroupTreePane(QWidget* parent = nullptr);
};
