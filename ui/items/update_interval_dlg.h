// "查看更新间隔": the item list's repaint interval in milliseconds, 10 to 30000. The interval
// given is clamped into that range; OK keeps the dialog open while the text is not an integer
// in it.
#pragma once

#include "ui/framework/integer_field_dlg.h"

class CVUpdateIntervalDlg : public CIntegerFieldDlg {
public:
    static constexpr int kMinimum = 10;
    static constexpr int kMaximum = 30000;
    using MessageFunction = DialogMessageFunction;

    explicit CVUpdateIntervalDlg(int interval, QWidget* parent = nullptr, MessageFunction message = {});

    int Interval() const { return Value(); }
    QLineEdit* IntervalEdit() const { return ValueEdit(); }
};
