// The write dialog of the selected items: one row per item with its ItemID, its live current
// value and a write value typed in place. OK and Apply write the rows that were edited, with
// the dialog's mode: synchronously, or as an OPC DA 1.0 or 2.0 asynchronous write. An edited
// row carries a pending-write mark until it is written; Cancel withdraws the marks of its
// rows, and Esc withdraws the mark of a cell whose edit it abandons (unless an earlier edit of
// that cell is waiting to be written).
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QIcon>

#include <vector>

class CVGroup;
class CVItem;
class CVListEditCtrl;
class QPushButton;
class QTimer;

enum class WriteMode : int { Sync = 0, Async10 = 1, Async20 = 2 };

// The rows: ItemID, current value (made when painted), write value.
class ItemWriteModel : public QAbstractTableModel {
public:
    enum Column { kItemId = 0, kCurrentValue = 1, kWriteValue = 2, kColumnCount = 3 };

    explicit ItemWriteModel(std::vector<CVItem*> items, QObject* parent = nullptr);

    CVItem* ItemAt(int row) const { return rows_[static_cast<std::size_t>(row)].item; }
    const QString& WriteText(int row) const { return rows_[static_cast<std::size_t>(row)].text; }
    // An edit of the row's write value has been stored.
    bool HasStoredText(int row) const { return rows_[static_cast<std::size_t>(row)].stored; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    struct Row {
        CVItem* item;
        QString text;
        bool stored = false;
    };
    std::vector<Row> rows_;
    QIcon images_[3];
};

class CVItemWriteDlg : public QDialog {
public:
    CVItemWriteDlg(CVGroup& group, std::vector<CVItem*> items, WriteMode mode, QWidget* parent = nullptr);
    ~CVItemWriteDlg() override;

    // Writes the marked rows with their texts; false when there was nothing to write.
    bool Apply();
    void accept() override;
    void reject() override;

    CVListEditCtrl* List() const { return list_; }
    ItemWriteModel& Rows() const { return *model_; }
    QPushButton* ApplyButton() const { return apply_; }
    // What the 100 ms timer does: repaints the current values of the visible rows.
    void RepaintCurrentValues();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void MarkRow(int row, bool marked);
    void UpdateApply();

    CVGroup& group_;
    WriteMode mode_;
    ItemWriteModel* model_;
    CVListEditCtrl* list_;
    QPushButton* apply_;
    QTimer* timer_;
    bool editingStarted_ = false;
};
