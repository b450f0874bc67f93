// The item properties dialog against the simulation server: the record and its navigation,
// the properties the server reports, active state and data type changed on the server at once,
// and an item that is not on the server corrected and added again.
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"
#include "tests/support/accessible_label.h"
#include "tests/support/event_recorder.h"
#include "ui/controls/image_button.h"
#include "ui/items/item_properties_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

class ItemProperties : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        server.progId = simserver::kDefaultProgId;
        ASSERT_TRUE(server.Connect());
        group = new CVGroup(&server, ThreadStart::kLater);
        group->SetName("Properties");
        server.AddGroup(group, false);
        for (const char* id : {"Writable.I4", "No.Such.Item", "Writable.BSTR"}) {
            auto* item = new CVItem(group);
            item->itemId = id;
            item->active = TRUE;
            CItemAddressRegistry::Instance().Register(item);
            items.push_back(item);
        }
        group->AddItems(items.data(), static_cast<int>(items.size()), false);
        ASSERT_TRUE(items[0]->added);
        ASSERT_FALSE(items[1]->added);
    }
    void TearDown() override { server.Disconnect(); }

    std::unique_ptr<CVItemPropertiesDlg> Open() {
        return std::make_unique<CVItemPropertiesDlg>(
            items, group->ItemMgt(), &server, nullptr, [this](QWidget*, const std::string& text) { messages.push_back(text); },
            [this](CVItem* item) { changed.push_back(item); });
    }
    std::string Cell(const CVItemPropertiesDlg& dialog, int row, int column) const {
        const QTableWidgetItem* cell = dialog.PropertyList()->item(row, column);
        return cell ? cell->text().toStdString() : std::string();
    }
    int RowOfProperty(const CVItemPropertiesDlg& dialog, const std::string& id) const {
        for (int row = 0; row < dialog.PropertyList()->rowCount(); ++row)
            if (Cell(dialog, row, 0) == id) return row;
        return -1;
    }

    EventRecorder recorder;
    CVServer server{ThreadStart::kLater};
    CVGroup* group = nullptr;
    std::vector<CVItem*> items;
    std::vector<std::string> messages;
    std::vector<CVItem*> changed;
};

TEST_F(ItemProperties, AnItemOnTheServerShowsItsRecordAndProperties) {
    auto dialog = Open();
    EXPECT_EQ(dialog->ItemIdEdit()->text(), "Writable.I4");
    EXPECT_FALSE(dialog->ItemIdEdit()->isEnabled()) << "an item on the server keeps its name";
    EXPECT_FALSE(dialog->AccessPathEdit()->isEnabled());
    EXPECT_FALSE(dialog->PreviousButton()->isEnabled());
    EXPECT_TRUE(dialog->NextButton()->isEnabled());
    EXPECT_EQ(dialog->DataTypeList()->currentText(), "Long");
    EXPECT_EQ(dialog->DataTypeList()->count(), 10) << "the scalar types only";

    const int type = RowOfProperty(*dialog, "1");
    ASSERT_GE(type, 0);
    EXPECT_FALSE(Cell(*dialog, type, 1).empty()) << "a description";
    const int time = RowOfProperty(*dialog, "4");
    ASSERT_GE(time, 0);
    EXPECT_TRUE(std::regex_match(Cell(*dialog, time, 2), std::regex("\\d\\d:\\d\\d:\\d\\d")))
        << "the timestamp as local time of day: " << Cell(*dialog, time, 2);
    EXPECT_EQ(Cell(*dialog, time, 3), "N/A");
    EXPECT_EQ(dialog->PropertyList()->columnCount(), 4);
}

TEST_F(ItemProperties, NavigationStopsAtBothEnds) {
    auto dialog = Open();
    dialog->NextButton()->click();
    dialog->NextButton()->click();
    EXPECT_EQ(dialog->CurrentIndex(), 2);
    EXPECT_FALSE(dialog->NextButton()->isEnabled());
    dialog->ShowItem(3);
    EXPECT_EQ(dialog->CurrentIndex(), 2);
    dialog->PreviousButton()->click();
    EXPECT_EQ(dialog->ItemIdEdit()->text(), "No.Such.Item");
    EXPECT_TRUE(dialog->ItemIdEdit()->isEnabled()) << "not on the server: it can be corrected";
    EXPECT_EQ(dialog->DataTypeList()->count(), 19);
}

TEST_F(ItemProperties, ActiveAndDataTypeChangeOnTheServerAtOnce) {
    auto dialog = Open();
    EXPECT_FALSE(dialog->Modified());
    dialog->ActiveBox()->click();
    EXPECT_FALSE(items[0]->active);
    EXPECT_TRUE(dialog->Modified());

    dialog->DataTypeList()->setCurrentText("Double");
    emit dialog->DataTypeList()->activated(dialog->DataTypeList()->currentIndex());
    EXPECT_EQ(items[0]->DataType(), VT_R8);
    EXPECT_TRUE(messages.empty());

    // A type the server refuses: the message, and the old type again.
    dialog->ShowItem(2);
    dialog->DataTypeList()->setCurrentText("Boolean");
    emit dialog->DataTypeList()->activated(dialog->DataTypeList()->currentIndex());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Failed to set the data type to 'Boolean'.  The data type will remain unchanged.");
    EXPECT_EQ(dialog->DataTypeList()->currentText(), "String");
}

TEST_F(ItemProperties, ACorrectedItemIsAddedAgainWhenTheOperatorMovesOn) {
    auto dialog = Open();
    dialog->ShowItem(1);
    dialog->ItemIdEdit()->setText("Writable.I2");
    dialog->NextButton()->click();
    EXPECT_TRUE(items[1]->added);
    EXPECT_EQ(items[1]->itemId, "Writable.I2");
    EXPECT_TRUE(CItemAddressRegistry::Instance().ContainsItemId("Writable.I2"));
    EXPECT_EQ(changed, std::vector<CVItem*>{items[1]});
    EXPECT_FALSE(dialog->Modified()) << "the document hears of it through the change notice";
    dialog->accept();
    EXPECT_EQ(changed.size(), 1u) << "an item on the server is not stored again";
}

TEST_F(ItemProperties, EveryFieldIsNamedByItsLabel) {
    auto dialog = Open();
    EXPECT_EQ(AnnouncedLabel(dialog->AccessPathEdit()), "访问路径:");
    EXPECT_EQ(AnnouncedLabel(dialog->ItemIdEdit()), "变量 ID:");
    EXPECT_EQ(AnnouncedLabel(dialog->DataTypeList()), "数据类型:");
    EXPECT_EQ(AnnouncedLabel(dialog->NextButton()), "Next Item");
}

}  // namespace
