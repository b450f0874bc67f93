// The three server query dialogs against the simulation server: error codes parsed and
// explained, a group's state by its name, and the groups enumerated by name and by object.
#include "opc/client/group.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"
#include "tests/support/accessible_label.h"
#include "ui/navigation/server_queries.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(ErrorCodeText, DigitsOrHexadecimalOnceAnXHasCome) {
    const std::pair<const char*, std::optional<unsigned>> cases[] = {
        {"123", 123u},           {"0x80004005", 0x80004005u}, {"80004005x", 0x80004005u},
        {"0X1f", 0x1Fu},         {"-1", std::nullopt},        {"12AB", std::nullopt},
        {"0x12G", std::nullopt}, {"x", 0xFFFFFFFFu},          {"0x", 0xFFFFFFFFu},
        {"0x1FFFFFFFF", 0xFFFFFFFFu},  // more than 32 bits: the largest code
        {"9999999999", 0x7FFFFFFFu},  // as atol would saturate
    };
    for (const auto& [text, code] : cases) {
        const std::optional<HRESULT> parsed = ParseErrorCode(text);
        ASSERT_EQ(parsed.has_value(), code.has_value()) << text;
        if (code) {
            EXPECT_EQ(static_cast<unsigned>(*parsed), *code) << text;
        }
    }
}

class ServerQueries : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        server.progId = simserver::kDefaultProgId;
        ASSERT_TRUE(server.Connect());
        for (const char* name : {"Line 1", "Line 2"}) {
            auto* group = new CVGroup(&server, ThreadStart::kLater);
            group->SetName(name);
            group->updateRate = 500;
            server.AddGroup(group, false);
        }
    }
    void TearDown() override { server.Disconnect(); }

    CVServer server{ThreadStart::kLater};
    std::vector<std::string> messages;
};

TEST_F(ServerQueries, AnErrorCodeIsExplainedAndWrittenInHexadecimal) {
    CVServerGetErrorStringDlg dialog(server.OpcServer(), nullptr,
                                     [this](QWidget*, const std::string& text) { messages.push_back(text); });
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    dialog.CodeEdit()->setText("0x80004005");
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    dialog.Apply();
    EXPECT_FALSE(dialog.DescriptionText()->toPlainText().isEmpty());
    EXPECT_TRUE(messages.empty());

    dialog.CodeEdit()->setText("12AB");
    dialog.Apply();
    EXPECT_EQ(messages, std::vector<std::string>{"Invalid hexadecmial number."});
    EXPECT_EQ(dialog.CodeEdit()->text(), "12AB") << "nothing else happens";

    dialog.CodeEdit()->setText("123");
    dialog.Apply();
    EXPECT_EQ(dialog.CodeEdit()->text(), "0x0000007B");
    EXPECT_EQ(dialog.CodeEdit()->maxLength(), 10);
}

TEST_F(ServerQueries, AGroupsStateByItsName) {
    CVServerGroupByNameDlg dialog(server.OpcServer());
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled()) << "an empty name asks nothing";
    dialog.NameEdit()->setText("Line 2");
    dialog.Apply();
    EXPECT_EQ(dialog.Fields()->UpdateRateEdit()->text(), "500");
    EXPECT_EQ(dialog.Fields()->LocaleEdit()->text(), "1033");
    EXPECT_TRUE(dialog.Fields()->ActiveBox()->isChecked());

    dialog.NameEdit()->setText("No such group");
    dialog.Apply();
    EXPECT_EQ(dialog.Fields()->UpdateRateEdit()->text(), "0");
    EXPECT_FALSE(dialog.Fields()->ActiveBox()->isChecked());
    EXPECT_TRUE(dialog.NameEdit()->text().isEmpty());
    EXPECT_EQ(AnnouncedLabel(dialog.NameEdit()), "名字:");
    EXPECT_EQ(AnnouncedLabel(dialog.Fields()->TimeBiasEdit()), "时间补偿 (min.):");
}

TEST_F(ServerQueries, GroupsAreEnumeratedByNameAndByObject) {
    CVServerEnumerateGroupsDlg dialog(server.OpcServer());
    EXPECT_EQ(dialog.ScopeList()->currentText(), "All Groups");
    EXPECT_EQ(dialog.ByList()->currentText(), "Group Name");
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    const auto listed = [&dialog] {
        std::vector<std::string> names;
        for (int row = 0; row < dialog.Groups()->count(); ++row)
            names.push_back(dialog.Groups()->item(row)->text().toStdString());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(listed(), (std::vector<std::string>{"Line 1", "Line 2"}));
    EXPECT_EQ(dialog.Groups()->currentRow(), 0);
    EXPECT_EQ(dialog.Fields()->NameEdit()->text(), dialog.Groups()->item(0)->text()) << "the first one is shown";
    EXPECT_EQ(dialog.Fields()->UpdateRateEdit()->text(), "500");

    dialog.ByList()->setCurrentIndex(0);
    emit dialog.ByList()->activated(0);
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    dialog.Apply();
    EXPECT_EQ(listed(), (std::vector<std::string>{"Line 1", "Line 2"})) << "the same names from the objects";
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());

    dialog.ScopeList()->setCurrentIndex(1);  // public groups: none
    dialog.Apply();
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(dialog.Fields()->NameEdit()->text(), "");
}

}  // namespace
