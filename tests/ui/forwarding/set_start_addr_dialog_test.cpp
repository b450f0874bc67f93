#include "ui/forwarding/set_start_addr_dialog.h"

#include "platform/config/opc_config.h"
#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>
#include <QLineEdit>

#include <string>
#include <vector>

namespace {

class StartAddressDialog : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolderForTesting(folder.path()); }
    void TearDown() override { SetProgramFolderForTesting(""); }
    // What OK applies: the application stores the address (and renumbers and saves).
    CSetStartAddrDialog::ApplyFunction Apply() {
        return [this](int value) {
            StoreStartAddress(value);
            handled.push_back(static_cast<unsigned>(value));
        };
    }
    CSetStartAddrDialog::MessageFunction Capture() {
        return [this](QWidget*, const std::string& text) { messages.push_back(text); };
    }

    TempFolder folder;
    std::vector<std::string> messages;
    std::vector<unsigned> handled;
};

}  // namespace

TEST_F(StartAddressDialog, StartsWithTheConfiguredAddress) {
    StoreStartAddress(42);
    CSetStartAddrDialog dialog(nullptr, Apply(), Capture());
    EXPECT_EQ(dialog.AddressEdit()->text(), "42");
}

TEST_F(StartAddressDialog, OutOfRangeOrNotANumberKeepsTheDialogOpen) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"0", "Please enter an integer between 1 and 10000."},
        {"10001", "Please enter an integer between 1 and 10000."},
        {"-3", "Please enter an integer between 1 and 10000."},
        {"abc", "Please enter an integer."},
        {"", "Please enter an integer."},
    };
    for (const auto& c : cases) {
        messages.clear();
        CSetStartAddrDialog dialog(nullptr, Apply(), Capture());
        dialog.AddressEdit()->setText(c.text);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << c.text;
        ASSERT_EQ(messages.size(), 1u) << c.text;
        EXPECT_EQ(messages[0], c.message);
    }
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(ReadStartAddress(), 1u);
}

TEST_F(StartAddressDialog, BoundsAreAcceptedAndStoredThenTheReminderShows) {
    for (int value : {1, 10000}) {
        messages.clear();
        CSetStartAddrDialog dialog(nullptr, Apply(), Capture());
        dialog.AddressEdit()->setText(QString::number(value));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(ReadStartAddress(), static_cast<unsigned>(value));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "设置起始地址后请在配置软件中重新导入变量表，然后下载到BOX!");
    }
    EXPECT_EQ(handled, (std::vector<unsigned>{1, 10000}));
}
