#include "ui/controls/list_edit.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kFirstEditableColumn = 2;
constexpr int kNarrowestEditable = 5;  // pixels
constexpr int kInsetLeft = 4;
constexpr int kInsetRight = 10;
constexpr int kTextSlack = 5;

}  // namespace

CVListEditCtrl::CVListEditCtrl(QWidget* parent) : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);  // the list's own box edits
    setSelectionBehavior(QAbstractItemView::SelectRows);
}

CVListEditCtrl::~CVListEditCtrl() {
    if (!editor_) return;
    editor_->Abandon();
    delete editor_.data();
}

void CVListEditCtrl::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QModelIndex cell = indexAt(event->position().toPoint());
    if (!cell.isValid()) return;
    if (cell.column() >= kFirstEditableColumn)
        EditCell(cell.row(), cell.column());
    else
        selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CVListEditCtrl::EditCell(int row, int column) {
    if (!model() || row < 0 || row >= model()->rowCount()) return;
    if (column < 0 || column >= model()->columnCount() || columnWidth(column) < kNarrowestEditable) return;
    const QModelIndex cell = model()->index(row, column);
    scrollTo(cell);
    QRect rect = visualRect(cell);
    // A cell beside the visible part is scrolled into view.
    const int viewportWidth = viewport()->width();
    if (rect.left() < 0 || rect.left() > viewportWidth) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + rect.left());
        rect = visualRect(cell);
    }
    const int left = rect.left() + kInsetLeft;
    const int right = std::min(rect.left() + columnWidth(column) - kInsetRight, viewportWidth);
    editedRow_ = row;
    auto* editor = new CVListEdit(this, row, column, model()->data(cell, Qt::DisplayRole).toString());
    editor_ = editor;
    const QVariant alignment = model()->data(cell, Qt::TextAlignmentRole);
    editor->setAlignment(alignment.isValid() ? Qt::Alignment(alignment.toInt()) : Qt::AlignLeft | Qt::AlignVCenter);
    editor->setGeometry(left, rect.top(), std::max(right - left, 1), rect.height());
    editor->show();
    editor->setFocus();
    editor->selectAll();
}

void CVListEditCtrl::EditNeighbour(int step) {
    if (!model() || model()->rowCount() == 0 || editedRow_ < 0) return;
    const int rows = model()->rowCount();
    const int next = (editedRow_ + step + rows) % rows;
    EditCell(next, kFirstEditableColumn);  // the old box loses the focus and stores its text
}

void CVListEditCtrl::EndEdit(CVListEdit* editor, int row, int column, const std::optional<QString>& text) {
    if (text && model()) model()->setData(model()->index(row, column), *text, Qt::EditRole);
    if (editor == editor_) editedRow_ = -1;
    if (onEditEnded) onEditEnded(column, row, text);
}

CVListEdit::CVListEdit(CVListEditCtrl* list, int row, int column, const QString& text)
    : QLineEdit(text, list->viewport()), list_(list), row_(row), column_(column) {
    setFont(list->font());
    // The owner hears of every change the operator makes: typing, deleting, pasting.
    connect(this, &QLineEdit::textEdited, this, [this] {
        FitText();
        if (list_->onCellChanging) list_->onCellChanging(column_, row_);
    });
}

void CVListEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        list_->EditNeighbour(-1);
        return;
    case Qt::Key_Down:
        list_->EditNeighbour(+1);
        return;
    case Qt::Key_Escape:
        cancelled_ = true;
        list_->setFocus();
        Finish();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        list_->setFocus();  // taken here: the dialog's default button does not see it
        Finish();
        return;
    default: QLineEdit::keyPressEvent(event);
    }
}

void CVListEdit::FitText() {
    const int needed = fontMetrics().horizontalAdvance(text()) + kTextSlack + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
    if (needed <= width()) return;
    const int room = list_->viewport()->width() - x();
    resize(std::max(width(), std::min(needed, room)), height());
}

void CVListEditCtrl::FinishEdit() {
    if (editor_) editor_->Finish();
}

void CVListEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Finish();
}

void CVListEdit::Finish() {
    if (ended_) return;
    ended_ = true;
    list_->EndEdit(this, row_, column_, cancelled_ ? std::nullopt : std::optional<QString>(text()));
    deleteLater();
}
