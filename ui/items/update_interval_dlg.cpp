#include "ui/items/update_interval_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void PlainMessage(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok,
                    parent);
    box.exec();
}

}  // namespace

CVUpdateIntervalDlg::CVUpdateIntervalDlg(int interval, QWidget* parent, MessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      message_(message ? std::move(message) : PlainMessage),
      interval_(std::clamp(interval, kMinimum, kMaximum)) {
    setWindowTitle(QString::fromUtf8("查看更新间隔"));
    edit_->setMaxLength(5);
    edit_->setText(QString::number(interval_));
    edit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8("间隔 (毫秒):"), edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CVUpdateIntervalDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CVUpdateIntervalDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    edit_->setFocus();
}

void CVUpdateIntervalDlg::accept() {
    bool isNumber = false;
    const int value = edit_->text().trimmed().toInt(&isNumber);
    if (!isNumber || value < kMinimum || value > kMaximum) {
        message_(this, isNumber ? "Please enter an integer between 10 and 30000." : "Please enter an integer.");
        edit_->setFocus();
        edit_->selectAll();
        return;  // the dialog stays open
    }
    interval_ = value;
    QDialog::accept();
}
