// A small dialog that asks for one integer in a range: a labelled field and OK / Cancel. OK
// keeps the dialog open, after the platform's data-exchange message, while the text is not an
// integer in the range.
#pragma once

#include "ui/framework/dialog_parts.h"

#include <QDialog>

class QLineEdit;

class CIntegerFieldDlg : public QDialog {
public:
    struct Shape {
        const char* title;
        const char* label;
        int minimum;
        int maximum;
        int maxLength;  // characters the field takes; 0 for no limit
    };

    // `value` is shown as it is given.
    CIntegerFieldDlg(const Shape& shape, int value, QWidget* parent, DialogMessageFunction message);

    int Value() const { return value_; }
    QLineEdit* ValueEdit() const { return edit_; }
    void accept() override;

private:
    QLineEdit* edit_;
    DialogMessageFunction message_;
    int minimum_;
    int maximum_;
    int value_;
};
