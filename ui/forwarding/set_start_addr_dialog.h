// The start-address dialog: the first forwarding address of new items (1 to 10000). OK hands
// the new address to the caller's apply function (the application stores it, renumbers every
// item and saves the project), then reminds the operator that the peers need the new address
// table.
#pragma once

#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <functional>
#include <string>

class QLineEdit;

class CSetStartAddrDialog : public QDialog {
    Q_OBJECT
public:
    // Shows a text in a plain OK message box; tests capture it instead.
    using MessageFunction = DialogMessageFunction;

    using ApplyFunction = std::function<void(int address)>;

    CSetStartAddrDialog(QWidget* parent, ApplyFunction apply, MessageFunction message = {});

    QLineEdit* AddressEdit() const { return edit_; }
    void accept() override;

    static constexpr int kMinimum = 1;
    static constexpr int kMaximum = 10000;

private:
    QLineEdit* edit_;
    ApplyFunction apply_;
    MessageFunction message_;
};

// Opens the dialog modally (menu command "设置起始地址"); after a confirmed change shows the
// reminder message.
void RunSetStartAddressDialog(QWidget* parent, CSetStartAddrDialog::ApplyFunction apply,
                              CSetStartAddrDialog::MessageFunction message = {});
