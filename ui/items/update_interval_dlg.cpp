#include "ui/items/update_interval_dlg.h"

#include "ui/framework/dialog_parts.h"
#include "platform/strings/language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

CVUpdateIntervalDlg::CVUpdateIntervalDlg(int interval, QWidget* parent, MessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      message_(message ? std::move(message) : PlainMessageBox),
      interval_(std::clamp(interval, kMinimum, kMaximum)) {
    setWindowTitle(QString::fromUtf8(Tr("查看更新间隔", "View Update Interval")));
    edit_->setMaxLength(5);
    edit_->setText(QString::number(interval_));
    edit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8(Tr("间隔 (毫秒):", "Interval (ms):")), edit_);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    edit_->setFocus();
}

void CVUpdateIntervalDlg::accept() {
    const std::optional<int> value = ReadIntegerField(*edit_, kMinimum, kMaximum, message_, this);
    if (!value) return;  // the dialog stays open
    interval_ = *value;
    QDialog::accept();
}
