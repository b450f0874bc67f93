// The add item dialog against the simulation server: browsing, Add items with its registry and
// run checks, the record editor (validation, navigation, duplication), OK and Cancel.
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "platform/settings/profile.h"
#include "simserver/server_registry.h"
#include "tests/platform/temp_folder.h"
#include "ui/controls/image_button.h"
#include "ui/items/item_add_dlg.h"
#include "ui/items/leaf_list_model.h"

#include "tests/support/accessible_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::pair<int, CVItem*>>;

Entries RegistryEntries() {
    const auto range = CItemAddressRegistry::Instance().InRange(INT_MIN, INT_MAX);
    return Entries(range.begin(), range.end());
}

class AddItems : public ::testing::Test {
protected:
    void SetUp() override {
        Profile::UseFolderForTesting(folder / "profile");
        simserver::RegisterSimulationServers();
        Connect(simserver::kDefaultProgId);
    }
    void TearDown() override {
        dialog.reset();
        server.reset();
    }
    void Connect(const std::string& progId) {
        dialog.reset();
        server = std::make_unique<CVServer>(ThreadStart::kLater);
        server->progId = progId;
        ASSERT_TRUE(server->Connect());
        group = new CVGroup(server.get(), ThreadStart::kLater);
        group->SetName("Line 1");
        server->AddGroup(group, false);
    }
    CVItemAddDlg& Open(bool browse = true) {
        dialog = std::make_unique<CVItemAddDlg>(
            *group, browse ? server->BrowseAddressSpace() : nullptr, nullptr,
            [this](QWidget*, const std::string& text) { messages.push_back(text); },
            [this](QWidget*, const std::string& text) {
                questions.push_back(text);
                return answer;
            });
        Settle();
        return *dialog;
    }
    // Waits until the browsing calls under way have answered and their answers are shown.
    void Settle() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dialog->IsWorking() && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_FALSE(dialog->IsWorking()) << "the browsing calls did not answer";
    }
    QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0).toStdString() == text) return parent->child(i);
        return nullptr;
    }
    // Expands the root and selects the branch `name` below it.
    void SelectBranch(const std::string& name) {
        QTreeWidgetItem* root = dialog->BranchTree()->topLevelItem(0);
        ASSERT_TRUE(root);
        dialog->BranchTree()->expandItem(root);
        Settle();
        QTreeWidgetItem* branch = Child(root, name);
        ASSERT_TRUE(branch) << name;
        dialog->BranchTree()->setCurrentItem(branch);
        Settle();
    }
    int RowOf(const std::string& leaf) const {
        for (int row = 0; row < dialog->Leaves().rowCount(); ++row)
            if (dialog->Leaves().NameAt(row) == leaf) return row;
        return -1;
    }
    void SelectLeaves(const std::vector<std::string>& leaves) {
        QItemSelectionModel* selection = dialog->LeafList()->selectionModel();
        selection->clearSelection();
        for (const std::string& leaf : leaves) {
            const int row = RowOf(leaf);
            ASSERT_GE(row, 0) << leaf;
            selection->select(dialog->Leaves().index(row), QItemSelectionModel::Select);
        }
    }
    void TypeItemId(const std::string& id) {
        dialog->ItemIdEdit()->setText(QString::fromStdString(id));
        emit dialog->ItemIdEdit()->textEdited(dialog->ItemIdEdit()->text());
    }
    std::vector<std::string> IdsOf(const std::vector<CVItem*>& items) {
        std::vector<std::string> ids;
        for (CVItem* item : items) ids.push_back(item->itemId);
        return ids;
    }

    TempFolder folder;
    std::unique_ptr<CVServer> server;
    CVGroup* group = nullptr;
    std::unique_ptr<CVItemAddDlg> dialog;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = false;
};

TEST_F(AddItems, BrowsedLeavesAreAddedOnceAndOkHandsThemOver) {
    CVItemAddDlg& dlg = Open();
    ASSERT_TRUE(dlg.IsBrowsing());
    EXPECT_EQ(dlg.BranchTree()->topLevelItem(0)->text(0), "Orvane OPC");
    SelectBranch("Plant");
    const LeafListModel& leaves = dlg.Leaves();
    ASSERT_GT(leaves.rowCount(), 0);
    EXPECT_LT(RowOf("PUMP1"), RowOf("TANK1")) << "sorted by text";
    EXPECT_EQ(RowOf("PUMP1_UNIT"), -1);
    EXPECT_GE(RowOf("PUMP1_UNITS"), 0);

    SelectLeaves({"TANK1", "PUMP1"});
    dlg.AddSelectedLeaves();
    Settle();
    dlg.AddSelectedLeaves();  // a second press adds nothing more
    EXPECT_EQ(dlg.ItemCount(), 2);
    EXPECT_EQ(dlg.CountText()->text(), "待添加变量数: 2");
    EXPECT_TRUE(leaves.IsAdded(RowOf("PUMP1")));
    EXPECT_FALSE(leaves.IsAdded(RowOf("PUMP1_UNITS")));
    EXPECT_TRUE(CItemAddressRegistry::Instance().ContainsItemId("Plant.TANK1"));

    dlg.accept();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    std::vector<CVItem*> items = dlg.TakeItems();
    EXPECT_EQ(IdsOf(items), (std::vector<std::string>{"Plant.PUMP1", "Plant.TANK1"})) << "in row order";
    group->AddItems(items.data(), static_cast<int>(items.size()), false);
    EXPECT_TRUE(items[0]->added);
    EXPECT_TRUE(messages.empty());
}

TEST_F(AddItems, ALeafAlreadyInTheProjectIsSkippedAndCancelLeavesTheRegistryAsItWas) {
    auto* existing = new CVItem(group);
    existing->itemId = "Plant.TANK1";
    group->LinkItem(existing);
    CItemAddressRegistry::Instance().Register(existing);
    const Entries before = RegistryEntries();

    CVItemAddDlg& dlg = Open();
    SelectBranch("Plant");
    SelectLeaves({"TANK1"});
    dlg.AddSelectedLeaves();
    Settle();
    EXPECT_EQ(dlg.ItemCount(), 0) << "no message, nothing added";
    EXPECT_FALSE(dlg.Leaves().IsAdded(RowOf("TANK1")));
    EXPECT_TRUE(messages.empty());

    SelectLeaves({"PUMP1"});
    dlg.AddSelectedLeaves();
    Settle();
    dlg.AddLeafAt(RowOf("TANK1"));  // a double click takes even a project's ItemID
    Settle();
    EXPECT_EQ(dlg.ItemCount(), 2);
    dlg.reject();
    EXPECT_EQ(RegistryEntries(), before) << "the project's item keeps its address";
    EXPECT_EQ(dlg.ItemCount(), 0);
}

TEST_F(AddItems, OkWithNothingToAddSaysSoAndStays) {
    CVItemAddDlg& dlg = Open(false);
    EXPECT_FALSE(dlg.IsBrowsing());
    EXPECT_FALSE(dlg.BranchTree()->isEnabled());
    EXPECT_FALSE(dlg.AddItemsButton()->isEnabled());
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(messages, std::vector<std::string>{"未添加任何变量！"});

    // An item entered by hand is enough.
    TypeItemId("Writable.I4");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(IdsOf(dlg.TakeItems()), std::vector<std::string>{"Writable.I4"});
}

TEST_F(AddItems, TheRecordEditorValidatesNavigatesAndDeletes) {
    CVItemAddDlg& dlg = Open(false);
    TypeItemId("No.Such.Item");
    ASSERT_TRUE(dlg.Button(CVItemAddDlg::Validate)->isEnabled());
    dlg.ValidateRecord();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Item validation for 'No.Such.Item' failed (0x", 0), 0u) << messages[0];

    // Auto validate asks; No keeps the record from being stored, Yes stores it.
    dlg.AutoValidateBox()->setChecked(true);
    dlg.Button(CVItemAddDlg::New)->click();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(dlg.ItemCount(), 0);
    EXPECT_EQ(dlg.ItemIdEdit()->text(), "No.Such.Item");
    answer = true;
    dlg.Button(CVItemAddDlg::New)->click();
    EXPECT_EQ(dlg.ItemCount(), 1);
    EXPECT_EQ(dlg.ItemIdEdit()->text(), "");

    // A valid record takes the server's canonical type.
    TypeItemId("Writable.R8");
    dlg.ValidateRecord();
    EXPECT_EQ(dlg.DataTypeList()->currentText(), "Double");
    dlg.Button(CVItemAddDlg::New)->click();
    EXPECT_EQ(dlg.ItemCount(), 2);

    dlg.Button(CVItemAddDlg::Previous)->click();
    EXPECT_EQ(dlg.ItemIdEdit()->text(), "Writable.R8");
    dlg.Button(CVItemAddDlg::Previous)->click();
    EXPECT_EQ(dlg.ItemIdEdit()->text(), "No.Such.Item");
    EXPECT_FALSE(dlg.Button(CVItemAddDlg::Previous)->isEnabled());
    dlg.Button(CVItemAddDlg::Delete)->click();
    EXPECT_EQ(dlg.ItemCount(), 1);
    EXPECT_EQ(dlg.ItemIdEdit()->text(), "Writable.R8");
    EXPECT_FALSE(CItemAddressRegistry::Instance().ContainsItemId("No.Such.Item"));
}

TEST_F(AddItems, BrowsingThatBreaksPartWayLeavesTheEditorWorking) {
    Connect(simserver::kBrowseFailsProgId);
    CVItemAddDlg& dlg = Open();
    ASSERT_TRUE(dlg.IsBrowsing());
    SelectBranch("Plant");
    SelectLeaves({"PUMP1"});
    dlg.AddSelectedLeaves();
    Settle();
    QTreeWidgetItem* root = dlg.BranchTree()->topLevelItem(0);
    for (const char* branch : {"Device1", "Ramp", "Random"}) {
        if (!dlg.IsBrowsing()) break;
        dlg.BranchTree()->setCurrentItem(Child(root, branch));
        Settle();
    }
    EXPECT_FALSE(dlg.IsBrowsing());
    EXPECT_FALSE(dlg.LeafList()->isEnabled());
    EXPECT_EQ(dlg.ItemCount(), 1) << "what was added stays";
    EXPECT_TRUE(dlg.ItemIdEdit()->isEnabled());
}

TEST_F(AddItems, AServerThatHangsWhileBrowsingNeverHoldsTheWindow) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> waiting{0};
    };
    auto gate = std::make_shared<Gate>();
    simserver::SimConfig config;
    config.browseHook = [gate] {
        ++gate->waiting;
        std::unique_lock lock(gate->mutex);
        gate->opened.wait(lock, [&] { return gate->open; });
    };
    simserver::RegisterSimulationServer("Test.AddItems.Hangs", config);
    Connect("Test.AddItems.Hangs");
    dialog = std::make_unique<CVItemAddDlg>(*group, server->BrowseAddressSpace(), nullptr,
                                            [this](QWidget*, const std::string& text) { messages.push_back(text); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (gate->waiting == 0 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(gate->waiting, 1) << "the listing of the root hangs in the server";
    EXPECT_TRUE(dialog->IsWorking());
    // The window still answers: the record editor works while the call hangs.
    TypeItemId("Writable.I4");
    EXPECT_TRUE(dialog->Button(CVItemAddDlg::New)->isEnabled());
    dialog->reject();
    dialog.reset();  // does not wait for the hung call
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
}

TEST_F(AddItems, EveryEntryFieldIsNamedByItsLabel) {
    CVItemAddDlg& dlg = Open();
    const std::vector<std::pair<QWidget*, std::string>> fields = {
        {dlg.AccessPathEdit(), "访问路径:"},  {dlg.ItemIdEdit(), "变量 ID:"},
        {dlg.DataTypeList(), "数据类型:"},    {dlg.LeafFilterEdit(), "变量过滤:"},
        {dlg.BranchFilterEdit(), "分支过滤:"}, {dlg.TypeFilterList(), "数据类型过滤:"},
        {dlg.AccessFilterList(), "访问权限过滤:"}, {dlg.ActiveBox(), "活动"},
        {dlg.BrowseFlatBox(), "再选中的分支上浏览平的地址空间"},
        {dlg.AutoValidateBox(), "再将变量添加到列表中前更新"},
        {dlg.Button(CVItemAddDlg::Next), "Next Item"},
        {dlg.BranchTree(), "分支"},
        {dlg.LeafList(), "变量"},
    };
    for (const auto& [field, text] : fields) EXPECT_EQ(AnnouncedLabel(field), text);
    EXPECT_EQ(dlg.Button(CVItemAddDlg::Duplicate)->toolTip(), "Duplicate Item");
    EXPECT_EQ(dlg.Button(CVItemAddDlg::Duplicate)->accessibleName(), "Duplicate Item");
    EXPECT_EQ(dlg.DataTypeList()->count(), 19);
    EXPECT_EQ(dlg.AccessFilterList()->itemText(3), "Read/Write");
}

// The record editor alone: duplication under counted names, including bits of a word.
class Duplicating : public AddItems {
protected:
    std::unique_ptr<ItemRecordEditor> Editor() {
        return std::make_unique<ItemRecordEditor>(*group, CItemAddressRegistry::Instance(), group->ItemMgt());
    }
};

TEST_F(Duplicating, ARecordBecomesItemsWithCountedNames) {
    auto editor = Editor();
    editor->Edit({"", "Writable.Tag", VT_EMPTY, true});
    const ItemRecordEditor::Validation validation = editor->Validate(true);
    ASSERT_EQ(validation.hr, S_OK);
    EXPECT_FALSE(validation.isBitOfWord);
    ASSERT_TRUE(editor->Duplicate(3, validation.isBitOfWord));
    EXPECT_EQ(IdsOf(editor->Items()), (std::vector<std::string>{"Writable.Tag", "Writable.Tag0", "Writable.Tag1"}));
    EXPECT_EQ(editor->Record().itemId, "Writable.Tag2");
    EXPECT_TRUE(editor->IsDirty()) << "stored by the next navigation or OK";
    EXPECT_EQ(editor->Items()[1]->DataType(), VT_I4) << "the validated type goes with every copy";
}

TEST_F(Duplicating, ABitOfAWordCarriesIntoTheNextWord) {
    auto editor = Editor();
    editor->Edit({"", "Device1.D100.14", VT_EMPTY, true});
    const ItemRecordEditor::Validation validation = editor->Validate(true);
    ASSERT_EQ(validation.hr, S_OK);
    EXPECT_TRUE(validation.isBitOfWord);
    ASSERT_TRUE(editor->Duplicate(2, validation.isBitOfWord));
    EXPECT_EQ(IdsOf(editor->Items()), (std::vector<std::string>{"Device1.D100.14", "Device1.D100.15"}));
    EXPECT_EQ(editor->Record().itemId, "Device1.D101.00");

    // A word itself is no bit.
    editor->Edit({"", "Device1.D100", VT_EMPTY, true});
    EXPECT_FALSE(editor->Validate(true).isBitOfWord);
    // Nor is a boolean whose parent is no word.
    editor->Edit({"", "Random.BOOL", VT_EMPTY, true});
    EXPECT_FALSE(editor->Validate(true).isBitOfWord);
}

TEST_F(Duplicating, ANameTooLongStopsTheRun) {
    auto editor = Editor();
    editor->Edit({"", std::string(350, 'A') + "9", VT_EMPTY, true});
    EXPECT_FALSE(editor->Duplicate(5, false));
    EXPECT_EQ(editor->Count(), 1) << "the record itself was stored; no name was cut";
}

}  // namespace
