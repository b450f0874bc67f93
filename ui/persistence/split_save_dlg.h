// The split-save dialog ("分页保存"): the project's item total, read-only, and the number of
// files to write, 2 to begin with. OK keeps the dialog open while the count is not an integer.
#pragma once

#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <functional>
#include <string>

class QLineEdit;

class CSplitSaveDlg : public QDialog {
public:
    // Shows a text in a plain OK message box; tests capture it instead.
    using MessageFunction = DialogMessageFunction;

    CSplitSaveDlg(int itemTotal, QWidget* parent = nullptr, MessageFunction message = {});

    int FileCount() const { return fileCount_; }
    QLineEdit* ItemTotalEdit() const { return totalEdit_; }
    QLineEdit* FileCountEdit() const { return countEdit_; }
    void accept() override;

private:
    QLineEdit* totalEdit_;
    QLineEdit* countEdit_;
    MessageFunction message_;
    int fileCount_ = 2;
};
