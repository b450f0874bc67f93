#include "ui/framework/integer_field_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CIntegerFieldDlg::CIntegerFieldDlg(const Shape& shape, int value, QWidget* parent, DialogMessageFunction message)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      message_(message ? std::move(message) : PlainMessageBox),
      minimum_(shape.minimum),
      maximum_(shape.maximum),
      value_(value) {
    setWindowTitle(QString::fromUtf8(shape.title));
    if (shape.maxLength > 0) edit_->setMaxLength(shape.maxLength);
    edit_->setText(QString::number(value_));
    edit_->selectAll();

    auto* form = new QFormLayout;
    form->addRow(FieldLabel(shape.label, edit_, this), edit_);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    edit_->setFocus();
}

void CIntegerFieldDlg::accept() {
    const std::optional<int> value = ReadIntegerField(*edit_, minimum_, maximum_, message_, this);
    if (!value) return;  // the dialog stays open
    value_ = *value;
    QDialog::accept();
}
