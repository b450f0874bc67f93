#include "ui/persistence/split_save_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void PlainMessage(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok,
                    parent);
    box.exec();
}

}  // namespace

CSplitSaveDlg::CSplitSaveDlg(int itemTotal, QWidget* parent, MessageFunction message)
    : QDialog(parent),
      totalEdit_(new QLineEdit(QString::number(itemTotal), this)),
      countEdit_(new QLineEdit(QString::number(2), this)),
      message_(message ? std::move(message) : PlainMessage) {
    setWindowTitle(QString::fromUtf8("分页保存"));
    totalEdit_->setReadOnly(true);
    countEdit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8("变量总数"), totalEdit_);
    form->addRow(QString::fromUtf8("保存份数"), countEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSplitSaveDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSplitSaveDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    countEdit_->setFocus();
}

void CSplitSaveDlg::accept() {
    bool isNumber = false;
    const int count = countEdit_->text().trimmed().toInt(&isNumber);
    if (!isNumber) {
        message_(this, "Please enter an integer.");
        countEdit_->setFocus();
        countEdit_->selectAll();
        return;  // the dialog stays open
    }
    fileCount_ = count;
    QDialog::accept();
}
