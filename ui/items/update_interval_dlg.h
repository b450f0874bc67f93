// "查看更新间隔": the item list's repaint interval in milliseconds, 10 to 30000. The interval
// given is clamped into that range; OK keeps the dialog open while the text is not an integer
// in it.
#pragma once

#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <functional>
#include <string>

class QLineEdit;

class CVUpdateIntervalDlg : public QDialog {
public:
    static constexpr int kMinimum = 10;
    static constexpr int kMaximum = 30000;
    // Shows a text in a plain OK message box; tests capture it instead.
    using MessageFunction = DialogMessageFunction;

    explicit CVUpdateIntervalDlg(int interval, QWidget* parent = nullptr, MessageFunction message = {});

    int Interval() const { return interval_; }
    QLineEdit* IntervalEdit() const { return edit_; }
    void accept() override;

private:
    QLineEdit* edit_;
    MessageFunction message_;
    int interval_;
};
