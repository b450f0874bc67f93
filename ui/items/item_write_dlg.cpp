#include "ui/items/item_write_dlg.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/controls/list_edit.h"
#include "ui/framework/dialog_parts.h"
#include "ui/framework/wait_cursor.h"
#include "ui/items/item_cells.h"
#include "ui/resources/icons.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <string>

namespace {

constexpr int kColumnWidth = 150;
constexpr int kRepaintMs = 100;

}  // namespace

ItemWriteModel::ItemWriteModel(std::vector<CVItem*> items, QObject* parent)
    : QAbstractTableModel(parent),
      images_{LoadIcon("item_active"), LoadIcon("item_inactive"), LoadIcon("item_not_added")} {
    rows_.reserve(items.size());
    for (CVItem* item : items) rows_.push_back({item, QString(), false});
}

int ItemWriteModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemWriteModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ItemWriteModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == kItemId) return images_[static_cast<int>(RowImageOf(*row.item))];
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    switch (index.column()) {
    case kItemId: return QString::fromStdString(row.item->itemId);
    case kCurrentValue: {
        std::string value;
        row.item->FormatValue(value);
        return QString::fromStdString(value);
    }
    case kWriteValue: return row.text;
    default: return {};
    }
}

QVariant ItemWriteModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case kItemId: return TableText(IDS_COLUMN_ITEM_ID);
    case kCurrentValue: return TableText(IDS_CURRENT_VALUE);
    case kWriteValue: return TableText(IDS_WRITE_VALUE);
    default: return {};
    }
}

bool ItemWriteModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kWriteValue || role != Qt::EditRole || index.row() >= rowCount())
        return false;
    Row& row = rows_[static_cast<std::size_t>(index.row())];
    row.text = value.toString();
    row.stored = true;
    emit dataChanged(index, index);
    return true;
}

CVItemWriteDlg::CVItemWriteDlg(CVGroup& group, std::vector<CVItem*> items, WriteMode mode, QWidget* parent)
    : QDialog(parent),
      group_(group),
      mode_(mode),
      model_(new ItemWriteModel(std::move(items), this)),
      list_(new CVListEditCtrl(this)),
      apply_(nullptr),
      timer_(new QTimer(this)) {
    const unsigned titles[] = {IDS_SYNC_WRITE, IDS_ASYNC10_WRITE, IDS_ASYNC20_WRITE};
    setWindowTitle(TableText(titles[static_cast<int>(mode)]));
    list_->setModel(model_);
    ConfigureReportView(*list_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAccessibleName(TableText(IDS_WRITE_VALUE));
    for (int column = 0; column < ItemWriteModel::kColumnCount; ++column) list_->setColumnWidth(column, kColumnWidth);
    list_->onCellChanging = [this](int, int row) { MarkRow(row, true); };
    // Esc withdraws the mark its typing set, unless an earlier edit of the cell waits.
    list_->onEditEnded = [this](int, int row, const std::optional<QString>& text) {
        if (!text) MarkRow(row, model_->HasStoredText(row));
    };

    auto* buttons = OkCancelButtons(this);
    apply_ = buttons->addButton(QString::fromUtf8(Tr("应用", "Apply")), QDialogButtonBox::ApplyRole);
    apply_->setEnabled(false);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(3 * kColumnWidth + 60, 320);

    connect(timer_, &QTimer::timeout, this, [this] { RepaintCurrentValues(); });
    timer_->start(kRepaintMs);
}

CVItemWriteDlg::~CVItemWriteDlg() { timer_->stop(); }

void CVItemWriteDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Editing starts in the first row's write-value cell, so the operator can type at once.
    if (editingStarted_) return;
    editingStarted_ = true;
    QTimer::singleShot(0, this, [this] { list_->EditCell(0, ItemWriteModel::kWriteValue); });
}

void CVItemWriteDlg::RepaintCurrentValues() {
    const int left = list_->columnViewportPosition(ItemWriteModel::kCurrentValue);
    const int width = list_->columnWidth(ItemWriteModel::kCurrentValue);
    list_->viewport()->update(QRect(left, 0, width, list_->viewport()->height()));
}

void CVItemWriteDlg::MarkRow(int row, bool marked) {
    if (row < 0 || row >= model_->rowCount()) return;
    model_->ItemAt(row)->pendingWrite = marked ? TRUE : FALSE;
    UpdateApply();
}

void CVItemWriteDlg::UpdateApply() {
    bool any = false;
    for (int row = 0; row < model_->rowCount() && !any; ++row) any = model_->ItemAt(row)->pendingWrite != FALSE;
    apply_->setEnabled(any);
}

bool CVItemWriteDlg::Apply() {
    WaitCursor cursor;
    std::vector<CVItem*> items;
    std::vector<std::string> texts;
    for (int row = 0; row < model_->rowCount(); ++row) {
        CVItem* item = model_->ItemAt(row);
        if (!item->pendingWrite) continue;
        items.push_back(item);
        texts.push_back(model_->WriteText(row).toStdString());
        item->pendingWrite = FALSE;
    }
    apply_->setEnabled(false);
    if (items.empty()) return false;
    const int count = static_cast<int>(items.size());
    switch (mode_) {
    case WriteMode::Sync: group_.SyncWrite(items.data(), texts.data(), count); break;
    case WriteMode::Async10: group_.AsyncWrite10(items.data(), texts.data(), count); break;
    case WriteMode::Async20: group_.AsyncWrite20(items.data(), texts.data(), count); break;
    }
    return true;
}

void CVItemWriteDlg::accept() {
    // An edit still open is stored first, as leaving its box would.
    list_->FinishEdit();
    Apply();
    QDialog::accept();
}

void CVItemWriteDlg::reject() {
    // Nothing of this dialog stays waiting to be written by the next one.
    for (int row = 0; row < model_->rowCount(); ++row) model_->ItemAt(row)->pendingWrite = FALSE;
    QDialog::reject();
}
