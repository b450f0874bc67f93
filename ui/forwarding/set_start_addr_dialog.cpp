#include "ui/forwarding/set_start_addr_dialog.h"

#include "platform/config/opc_config.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

const char* const kTitle = "设置变量起始地址";
const char* const kLabel = "起始地址";
const char* const kReminder = "设置起始地址后请在配置软件中重新导入变量表，然后下载到BOX!";

void PlainMessage(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok,
                    parent);
    box.exec();
}

}  // namespace

CSetStartAddrDialog::CSetStartAddrDialog(QWidget* parent, ApplyFunction apply, MessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      apply_(std::move(apply)),
      message_(message ? std::move(message) : PlainMessage) {
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
    bool isNumber = false;
    const int value = edit_->text().trimmed().toInt(&isNumber);
    if (!isNumber || value < kMinimum || value > kMaximum) {
        message_(this, isNumber ? "Please enter an integer between 1 and 10000." : "Please enter an integer.");
        edit_->setFocus();
        edit_->selectAll();
        return;  // the dialog stays open
    }
    if (apply_) apply_(value);
    QDialog::accept();
    message_(parentWidget(), kReminder);
}

void RunSetStartAddressDialog(QWidget* parent, CSetStartAddrDialog::ApplyFunction apply,
                              CSetStartAddrDialog::MessageFunction message) {
    CSetStartAddrDialog dialog(parent, std::move(apply), std::move(message));
    dialog.exec();
}
