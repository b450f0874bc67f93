#include "ui/persistence/qt_wait_ui.h"

#include <QApplication>
#include <QCursor>

void QtDocumentWaitUi::ShowCursor(Cursor cursor) {
    QApplication::setOverrideCursor(QCursor(cursor == Cursor::Wait ? Qt::WaitCursor : Qt::BusyCursor));
}

void QtDocumentWaitUi::RestoreCursor() { QApplication::restoreOverrideCursor(); }

void QtDocumentWaitUi::ProcessEvents() { QApplication::processEvents(QEventLoop::AllEvents); }
