// The update interval dialog: the interval clamped into 10 to 30000 on opening, and OK
// refusing what is not an integer in that range.
#include "ui/items/update_interval_dlg.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(UpdateIntervalDlg, ClampsTheIntervalItOpensWith) {
    const std::pair<int, const char*> cases[] = {{5, "10"}, {250, "250"}, {60000, "30000"}};
    for (const auto& [interval, shown] : cases) {
        CVUpdateIntervalDlg dialog(interval);
        EXPECT_EQ(dialog.IntervalEdit()->text(), QString::fromLatin1(shown)) << interval;
        EXPECT_EQ(dialog.IntervalEdit()->maxLength(), 5);
    }
}

TEST(UpdateIntervalDlg, OkAcceptsOnlyIntegersFromTenTo30000) {
    struct Case {
        const char* text;
        bool accepted;
        int interval;
    };
    const Case cases[] = {{"9", false, 250}, {"10", true, 10}, {"30000", true, 30000},
                          {"30001", false, 250}, {"abc", false, 250}, {"", false, 250}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> messages;
        CVUpdateIntervalDlg dialog(250, nullptr,
                                   [&](QWidget*, const std::string& text) { messages.push_back(text); });
        dialog.IntervalEdit()->setText(QString::fromLatin1(c.text));
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(messages.empty(), c.accepted);
        EXPECT_EQ(dialog.Interval(), c.interval);
    }
}
