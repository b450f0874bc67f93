#include "ui/forwarding/set_start_addr_dialog.h"

#include "platform/config/opc_config.h"
#include "ui/framework/dialog_parts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

const char* const kTitle = "设置变量起始地址";
const char* const kLabel = "起始地址";
const char* const kReminder = "设置起始地址后请在配置软件中重新导入变量表，然后下载到BOX!";

}  // namespace

CSetStartAddrDialog::CSetStartAddrDialog(QWidget* parent, ApplyFunction apply, MessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      apply_(std::move(apply)),
      message_(message ? std::move(message) : PlainMessageBox) {
    setWindowTitle(QString::fromUtf8(kTitle));
    edit_->setText(QString::number(ReadStartAddress()));
    edit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8(kLabel), edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetStartAddrDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSetStartAddrDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CSetStartAddrDialog::accept() {
    const std::optional<int> value = ReadIntegerField(*edit_, kMinimum, kMaximum, message_, this);
    if (!value) return;  // the dialog stays open
    if (apply_) apply_(*value);
    QDialog::accept();
    message_(parentWidget(), kReminder);
}

void RunSetStartAddressDialog(QWidget* parent, CSetStartAddrDialog::ApplyFunction apply,
                              CSetStartAddrDialog::MessageFunction message) {
    CSetStartAddrDialog dialog(parent, std::move(apply), std::move(message));
    dialog.exec();
}
