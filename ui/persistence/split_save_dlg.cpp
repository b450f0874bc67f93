#include "ui/persistence/split_save_dlg.h"

#include "ui/framework/dialog_parts.h"
#include "platform/strings/language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

CSplitSaveDlg::CSplitSaveDlg(int itemTotal, QWidget* parent, MessageFunction message)
    : QDialog(parent),
      totalEdit_(new QLineEdit(QString::number(itemTotal), this)),
      countEdit_(new QLineEdit(QString::number(2), this)),
      message_(message ? std::move(message) : PlainMessageBox) {
    setWindowTitle(QString::fromUtf8(Tr("分页保存", "Save in Parts")));
    totalEdit_->setReadOnly(true);
    countEdit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8(Tr("变量总数", "Items in total")), totalEdit_);
    form->addRow(QString::fromUtf8(Tr("保存份数", "Number of files")), countEdit_);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    countEdit_->setFocus();
}

void CSplitSaveDlg::accept() {
    const std::optional<int> count =
        ReadIntegerField(*countEdit_, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), message_, this);
    if (!count) return;  // the dialog stays open
    fileCount_ = *count;
    QDialog::accept();
}
