// "复制变量": how many copies Duplicate Item makes, 1 to 32767.
#pragma once

#include "ui/framework/integer_field_dlg.h"

class CVDuplicateItemCountDlg : public CIntegerFieldDlg {
public:
    static constexpr int kMinimum = 1;
    static constexpr int kMaximum = 32767;

    explicit CVDuplicateItemCountDlg(QWidget* parent = nullptr, DialogMessageFunction message = {});

    int Count() const { return Value(); }
};
