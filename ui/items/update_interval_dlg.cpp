#include "ui/items/update_interval_dlg.h"

#include "platform/strings/language.h"

#include <algorithm>

CVUpdateIntervalDlg::CVUpdateIntervalDlg(int interval, QWidget* parent, MessageFunction message)
    : CIntegerFieldDlg({Tr("查看更新间隔", "View Update Interval"), Tr("间隔 (毫秒):", "Interval (ms):"), kMinimum,
                        kMaximum, 5},
                       std::clamp(interval, kMinimum, kMaximum), parent, std::move(message)) {}
