// The hourglass for the life of the object, while the GUI thread works.
#pragma once

#include <QApplication>
#include <QCursor>

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
