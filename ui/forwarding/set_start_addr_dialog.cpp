#include "ui/forwarding/set_start_addr_dialog.h"

#include "platform/config/opc_config.h"
#include "ui/framework/dialog_parts.h"
#include "platform/strings/language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

const char* Title() { return Tr("设置变量起始地址", "Set Item Start Address"); }
const char* Label() { return Tr("起始地址", "Start address"); }
const char* Reminder() {
    return Tr("设置起始地址后请在配置软件中重新导入变量表，然后下载到BOX!",
              "After setting the start address, import the item table again in the configuration software, then download it to the BOX!");
}

}  // namespace

CSetStartAddrDialog::CSetStartAddrDialog(QWidget* parent, ApplyFunction apply, MessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      apply_(std::move(apply)),
      message_(message ? std::move(message) : PlainMessageBox) {
    setWindowTitle(QString::fromUtf8(Title()));
    edit_->setText(QString::number(ReadStartAddress()));
    edit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8(Label()), edit_);
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
    message_(parentWidget(), Reminder());
}

void RunSetStartAddressDialog(QWidget* parent, CSetStartAddrDialog::ApplyFunction apply,
                              CSetStartAddrDialog::MessageFunction message) {
    CSetStartAddrDialog dialog(parent, std::move(apply), std::move(message));
    dialog.exec();
}
