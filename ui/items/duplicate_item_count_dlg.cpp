#include "ui/items/duplicate_item_count_dlg.h"

#include "platform/strings/language.h"

CVDuplicateItemCountDlg::CVDuplicateItemCountDlg(QWidget* parent, DialogMessageFunction message)
    : CIntegerFieldDlg({Tr("复制变量", "Duplicate Item"), Tr("待复制的变量数目:", "Number of copies:"), kMinimum, kMaximum, 0},
                       1, parent, std::move(message)) {}
