// The group property sheet: a new group with its defaults on a live and on a disconnected
// server, the range checks, Apply with the server's read-back, the caption and the Interfaces
// page.
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/com/memory.h"
#include "simserver/server_registry.h"
#include "ui/controls/numeric_edit.h"
#include "ui/navigation/group_property_sheet.h"

#include "tests/support/accessible_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class GroupSheet : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        server.progId = simserver::kDefaultProgId;
    }
    void TearDown() override { server.Disconnect(); }

    // Runs a sheet for a new group to OK, with `edit` done to its page first.
    CVGroup* NewGroupWith(const std::function<void(CVGroupGeneralPage&)>& edit = {}) {
        CVGroupPropertySheet sheet(&server, nullptr, Record());
        if (edit) edit(*sheet.GeneralPage());
        sheet.accept();
        if (sheet.result() != QDialog::Accepted) return nullptr;
        sheet.Finish();
        return sheet.Group();
    }
    DialogMessageFunction Record() {
        return [this](QWidget*, const std::string& text) { messages.push_back(text); };
    }

    CVServer server{ThreadStart::kLater};
    std::vector<std::string> messages;
};

TEST_F(GroupSheet, ANewGroupWithTheDefaultsIsNamedByALiveServer) {
    ASSERT_TRUE(server.Connect());
    CVGroup* group = NewGroupWith();
    ASSERT_TRUE(group);
    EXPECT_EQ(server.FirstGroup(), group);
    EXPECT_TRUE(group->onServer);
    EXPECT_FALSE(group->Name().empty()) << "the server's own name for it";
    EXPECT_EQ(group->updateRate, 100u);
    EXPECT_TRUE(group->active);
    EXPECT_EQ(group->percentDeadband, 0.0f);
    EXPECT_EQ(group->timeBias, 0);
    EXPECT_EQ(group->lcid, 1033u);
    EXPECT_EQ(group->DataChangeMode(), kDataChangeMode20);
    EXPECT_EQ(group->RefreshInterval(), 1u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(GroupSheet, AnUnnamedGroupOnADisconnectedServerTakesAFreeName) {
    CVGroup* first = NewGroupWith();
    CVGroup* second = NewGroupWith();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Name(), "Group0");
    EXPECT_EQ(second->Name(), "Group1");
    EXPECT_FALSE(first->onServer);
    EXPECT_EQ(server.GroupCount(), 2);
    // Cancel creates nothing.
    CVGroupPropertySheet cancelled(&server, nullptr, Record());
    cancelled.reject();
    EXPECT_EQ(cancelled.Group(), nullptr);
    EXPECT_EQ(server.GroupCount(), 2);
}

TEST_F(GroupSheet, EachFieldIsCheckedAgainstItsRange) {
    struct Case {
        const char* field;
        const char* text;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {"deadband", "100.5", "Please enter a number between 0 and 100."},
        {"deadband", "100", ""},
        {"deadband", "1-.-e", "Please enter a number."},
        {"rate", "4294967295", ""},
        {"rate", "4294967296", "Please enter an integer between 0 and 4294967295."},
        {"bias", "2147483648", "Please enter an integer between 0 and 2147483647."},
        {"locale", "", ""},  // an emptied numeric field reads as 0
        {"interval", "", "Please enter an integer."},
        {"interval", "x", "Please enter an integer."},
        {"interval", "-5", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.text);
        messages.clear();
        CVGroupPropertySheet sheet(&server, nullptr, Record());
        CVGroupGeneralPage& page = *sheet.GeneralPage();
        const std::string field = c.field;
        QLineEdit* edit = field == "deadband" ? static_cast<QLineEdit*>(page.DeadbandEdit())
                          : field == "rate"   ? page.UpdateRateEdit()
                          : field == "bias"   ? page.TimeBiasEdit()
                          : field == "locale" ? page.LocaleEdit()
                                              : page.CheckIntervalEdit();
        edit->clear();
        edit->insert(QString::fromLatin1(c.text));  // as typed: the numeric fields are touched
        if (auto* numeric = dynamic_cast<CNumericEdit*>(edit)) numeric->SetBeep([] {});
        sheet.accept();
        const bool accepted = std::string(c.message).empty();
        EXPECT_EQ(sheet.result() == QDialog::Accepted, accepted);
        if (accepted)
            EXPECT_TRUE(messages.empty());
        else
            EXPECT_EQ(messages, std::vector<std::string>{c.message});
    }
}

TEST_F(GroupSheet, ApplyPushesTheStateAndShowsWhatTheServerAccepted) {
    ASSERT_TRUE(server.Connect());
    CVGroup* group = NewGroupWith([](CVGroupGeneralPage& page) { page.NameEdit()->setText("Line 1"); });
    ASSERT_TRUE(group && group->onServer);
    for (const char* id : {"Ramp.I2", "Ramp.I4", "Ramp.R8"}) {
        auto* item = new CVItem(group);
        item->itemId = id;
        group->LinkItem(item);
    }

    CVGroupPropertySheet sheet(group, nullptr, Record());
    EXPECT_EQ(sheet.windowTitle().toStdString(), "组属性 [变量数: 3]");
    CVGroupGeneralPage& page = *sheet.GeneralPage();
    EXPECT_EQ(page.NameEdit()->text(), "Line 1");
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
    page.UpdateRateEdit()->setFocus();
    page.UpdateRateEdit()->selectAll();
    page.UpdateRateEdit()->insert("5");
    emit page.UpdateRateEdit()->textEdited("5");
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    page.NameEdit()->setText("Line 2");
    sheet.Apply();
    EXPECT_EQ(page.UpdateRateEdit()->text(), "10") << "the server's revised rate";
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    // The server holds it already; the group object takes it at OK.
    DWORD rate = 0;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    LONG bias = 0;
    FLOAT deadband = 0;
    DWORD lcid = 0;
    OPCHANDLE client = 0, handle = 0;
    ASSERT_EQ(group->GroupStateMgt()->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &handle), S_OK);
    CoTaskMemFree(name);
    EXPECT_EQ(rate, 10u);
    EXPECT_EQ(group->updateRate, 100u);
    sheet.accept();
    sheet.Finish();
    EXPECT_EQ(group->updateRate, 10u);
    EXPECT_EQ(group->Name(), "Line 2");
}

TEST_F(GroupSheet, TheInterfacesPageShowsWhatTheGroupHolds) {
    CVGroup* offline = NewGroupWith();
    ASSERT_TRUE(offline);
    CVGroupPropertySheet sheet(offline, nullptr, Record());
    QTableWidget* table = sheet.InterfaceTable();
    ASSERT_EQ(table->rowCount(), 8);
    EXPECT_EQ(table->item(6, 0)->text(), "IOPCAsyncIO2 (2.0 only)");
    for (int row = 0; row < 8; ++row) EXPECT_EQ(table->item(row, 2)->text(), "否") << row;
    EXPECT_EQ(table->item(1, 1)->text(), "否") << "the public group interface is not required";

    ASSERT_TRUE(server.Connect());
    CVGroup* online = NewGroupWith();
    ASSERT_TRUE(online && online->onServer);
    CVGroupPropertySheet live(online, nullptr, Record());
    for (int row = 0; row < 8; ++row) EXPECT_EQ(live.InterfaceTable()->item(row, 2)->text(), "是") << row;
}

TEST_F(GroupSheet, EveryFieldIsNamedByItsLabel) {
    CVGroupPropertySheet sheet(&server, nullptr, Record());
    const std::vector<std::pair<QWidget*, std::string>> fields = {
        {sheet.GeneralPage()->NameEdit(), "名称:"},
        {sheet.GeneralPage()->UpdateRateEdit(), "更新频率 (ms.):"},
        {sheet.GeneralPage()->TimeBiasEdit(), "时间偏移 (min.):"},
        {sheet.GeneralPage()->DeadbandEdit(), "死区百分比:"},
        {sheet.GeneralPage()->LocaleEdit(), "语言 ID:"},
        {sheet.GeneralPage()->CheckIntervalEdit(), "错误检测间隔 (分):"},
        {sheet.GeneralPage()->UpdateMethodList(), "更新通知:"},
        {sheet.GeneralPage()->ActiveBox(), "激活状态"},
    };
    for (const auto& [field, text] : fields) EXPECT_EQ(AnnouncedLabel(field), text);
    EXPECT_EQ(sheet.GeneralPage()->UpdateMethodList()->count(), 3);
    EXPECT_EQ(sheet.GeneralPage()->UpdateMethodList()->currentText(), "OPC 2.0");
}

}  // namespace
