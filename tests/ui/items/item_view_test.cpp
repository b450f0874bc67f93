// The item list pane over a project document: hints fill, append to and clear it; cells and
// row images come from the items; the selection survives a sort; the profile keys; the
// commands on the selection.
#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/frame_recorder.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/items/item_cells.h"
#include "ui/items/item_list_model.h"
#include "ui/items/item_view.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPaintEvent>
#include <QScrollBar>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QItemSelectionModel>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ItemViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile::UseFolderForTesting(folder / "profile");
        server = new CVServer(ThreadStart::kLater);
        server->progId = "Offline.One";
        document.AddNewServer(server);
        group = new CVGroup(server, ThreadStart::kLater);
        group->SetName("Pumps");
        server->LinkGroup(group);
        view = std::make_unique<CVItemView>();
        document.AddView(view.get());
    }
    void TearDown() override {
        view.reset();
        document.DeleteContents();
    }

    CVItem* AddItem(const std::string& id, VARTYPE type = VT_I4) {
        auto* item = new CVItem(group);
        item->itemId = id;
        item->SetDataType(type);
        group->LinkItem(item);
        return item;
    }
    void ShowGroup() {
        document.SetCurrentGroup(group);
        document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, group);
    }
    std::vector<std::string> Column0() const {
        std::vector<std::string> ids;
        for (int row = 0; row < view->Model().rowCount(); ++row)
            ids.push_back(view->Model().CellText(row, kColumnItemId).toStdString());
        return ids;
    }
    void SelectRows(std::initializer_list<int> rows, int current) {
        QItemSelectionModel* selection = view->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(view->Model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(view->Model().index(current, 0), QItemSelectionModel::NoUpdate);
    }

    TempFolder folder;
    CVDocument document{CItemAddressRegistry::Instance()};
    CVServer* server = nullptr;
    CVGroup* group = nullptr;
    std::unique_ptr<CVItemView> view;
};

}  // namespace

TEST_F(ItemViewTest, HintsFillAppendAndClearTheList) {
    AddItem("Pump.B");
    AddItem("Pump.A");
    ShowGroup();
    EXPECT_EQ(Column0(), (std::vector<std::string>{"Pump.A", "Pump.B"}));

    CVItem* added[] = {AddItem("Pump.0"), nullptr, AddItem("Pump.Z")};  // taken up to the null
    document.UpdateAllViews(nullptr, HINT_ITEMS_ADDED, added);
    EXPECT_EQ(Column0(), (std::vector<std::string>{"Pump.0", "Pump.A", "Pump.B"}));

    document.UpdateAllViews(nullptr, HINT_SELECTION_NOT_GROUP, server);
    EXPECT_EQ(view->Model().rowCount(), 0);
    ShowGroup();
    EXPECT_EQ(view->Model().rowCount(), 4);
    document.UpdateAllViews(nullptr, HINT_PROJECT_UNLOADING, nullptr);
    EXPECT_EQ(view->Model().rowCount(), 0);

    document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, nullptr);  // no group: nothing happens
    EXPECT_EQ(view->Model().rowCount(), 0);
}

TEST_F(ItemViewTest, CellsAndImagesComeFromTheItems) {
    CVItem* empty = AddItem("Tank.Level", VT_R8);
    CVItem* addressed = AddItem("Tank.Temp", VT_I2);
    auto& registry = CItemAddressRegistry::Instance();
    registry.RegisterAt(addressed, 4711);
    addressed->added = TRUE;
    addressed->active = FALSE;
    VARIANT value;
    value.vt = VT_I2;
    value.iVal = 42;
    addressed->SetValue(value, 0xC0);
    ShowGroup();

    const ItemListModel& model = view->Model();
    ASSERT_EQ(model.ItemAt(0), empty);
    EXPECT_EQ(model.CellText(0, kColumnDataType).toStdString(), "Double");  // the requested type
    EXPECT_EQ(model.CellText(0, kColumnAddress), "-1");                    // never registered
    EXPECT_EQ(RowImageOf(*empty), ItemRowImage::kNotAdded);
    EXPECT_EQ(model.CellText(1, kColumnValue), "42");
    EXPECT_EQ(model.CellText(1, kColumnUpdateCount), "1");
    EXPECT_EQ(model.CellText(1, kColumnAddress), "4711");
    EXPECT_EQ(RowImageOf(*addressed), ItemRowImage::kInactive);
    addressed->active = TRUE;
    EXPECT_EQ(RowImageOf(*addressed), ItemRowImage::kActive);

    // Rows beyond the array (the list may ask while it is rebuilt) give nothing.
    EXPECT_FALSE(model.data(model.index(2, 0), Qt::DisplayRole).isValid());
    EXPECT_TRUE(model.CellText(99, kColumnItemId).isEmpty());
    EXPECT_EQ(model.ItemAt(-1), nullptr);
    registry.Unregister(addressed);
}

TEST_F(ItemViewTest, SortingKeepsTheSelectedItemsAndTheFocus) {
    for (const char* id : {"D", "B", "A", "C"}) AddItem(id);
    ShowGroup();
    ASSERT_EQ(Column0(), (std::vector<std::string>{"A", "B", "C", "D"}));
    SelectRows({1, 3}, 3);  // B and D, the focus on D
    const QPersistentModelIndex onC = view->Model().index(2, kColumnValue);  // as an editor holds one

    view->SortByColumn(kColumnItemId);  // the same column: now descending
    EXPECT_TRUE(view->SortOrder().descending);
    ASSERT_EQ(Column0(), (std::vector<std::string>{"D", "C", "B", "A"}));
    EXPECT_EQ(view->Model().ItemAt(onC.row())->itemId, "C") << "a persistent index follows its row";
    EXPECT_EQ(onC.column(), kColumnValue);
    std::vector<std::string> selected;
    for (const CVItem* item : view->SelectedItems()) selected.push_back(item->itemId);
    EXPECT_EQ(selected, (std::vector<std::string>{"D", "B"}));
    EXPECT_EQ(view->SelectedCount(), 2);
    EXPECT_EQ(view->Model().ItemAt(view->currentIndex().row())->itemId, "D");

    view->SortByColumn(kColumnItemId);  // twice on one column: the first order again
    EXPECT_FALSE(view->SortOrder().descending);
    view->SortByColumn(kColumnAddress);  // another column keeps the order
    EXPECT_EQ(view->SortOrder().column, kColumnAddress);
    EXPECT_FALSE(view->SortOrder().descending);
    EXPECT_EQ(Column0(), (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST_F(ItemViewTest, DeleteRemovesTheSelectedItemsAndRebuilds) {
    for (const char* id : {"A", "B", "C"}) AddItem(id);
    ShowGroup();
    document.SetModifiedFlag(false);
    SelectRows({0, 2}, 0);
    ASSERT_TRUE(view->OnCommand(ID_DELETE));
    EXPECT_EQ(Column0(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(group->ItemCount(), 1u);
    EXPECT_TRUE(document.IsModified());

    // Nothing selected: nothing happens.
    view->selectionModel()->clearSelection();
    view->OnCommand(ID_DELETE);
    EXPECT_EQ(group->ItemCount(), 1u);
}

TEST_F(ItemViewTest, TheContextMenuOffersWhatTheGroupCanDo) {
    AddItem("A");
    ShowGroup();
    // Nothing selected: New item only.
    EXPECT_EQ(view->ContextMenuCommands(), (std::vector<unsigned>{ID_NEW_ITEM}));
    // Selected rows of a group that is not on its server: Properties after a separator.
    SelectRows({0}, 0);
    EXPECT_EQ(view->ContextMenuCommands(), (std::vector<unsigned>{ID_NEW_ITEM, 0, 0, ID_PROPERTIES}));
    // No current group: nothing, so no menu is shown.
    document.SetCurrentGroup(nullptr);
    view->selectionModel()->clearSelection();
    EXPECT_TRUE(view->ContextMenuCommands().empty());
}

TEST_F(ItemViewTest, CopyCutAndPasteMoveTheSelectedItemsThroughTheClipboard) {
    AddItem("B.Tag");
    AddItem("A.Tag", VT_R4)->active = TRUE;
    ShowGroup();
    SelectRows({0, 1}, 0);
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    EXPECT_TRUE(ClipboardHas(kItemClipFormat));
    // The text a text editor or a spreadsheet pastes: the CSV export's lines, in row order.
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "变量ID,访问路径,数据类型,Active\n"
              "A.Tag,\"\",Float,TRUE\n"
              "B.Tag,\"\",Long,FALSE\n");
    // With rows selected the menu offers no Paste; without, it does.
    EXPECT_EQ(view->ContextMenuCommands(), (std::vector<unsigned>{ID_NEW_ITEM, 0, 0, ID_PROPERTIES}));
    view->selectionModel()->clearSelection();
    EXPECT_EQ(view->ContextMenuCommands(), (std::vector<unsigned>{ID_NEW_ITEM, 0, ID_EDIT_PASTE}));

    document.SetModifiedFlag(false);
    ASSERT_TRUE(view->OnCommand(ID_EDIT_PASTE));
    EXPECT_EQ(group->ItemCount(), 4u);
    EXPECT_EQ(Column0(), (std::vector<std::string>{"A.Tag", "A.Tag", "B.Tag", "B.Tag"}));
    EXPECT_TRUE(document.IsModified());

    // Cut without a selection leaves the group as it is; with one it takes the rows.
    ASSERT_TRUE(view->OnCommand(ID_EDIT_CUT));
    EXPECT_EQ(group->ItemCount(), 4u);
    SelectRows({2, 3}, 2);
    ASSERT_TRUE(view->OnCommand(ID_EDIT_CUT));
    EXPECT_EQ(Column0(), (std::vector<std::string>{"A.Tag", "A.Tag"}));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "变量ID,访问路径,数据类型,Active\nB.Tag,\"\",Long,FALSE\nB.Tag,\"\",Long,FALSE\n");
}

TEST_F(ItemViewTest, ProfileKeysAreReadAtCreationAndWrittenAtTheEnd) {
    {
        Profile profile;
        profile.WriteInt(CVItemView::kSection, "2", -5);
        profile.WriteInt(CVItemView::kSection, "3", 77);
        profile.WriteInt(CVItemView::kSection, "Sort Column", 5);
        profile.WriteInt(CVItemView::kSection, "Sort Order", 1);
        profile.WriteInt(CVItemView::kSection, "Update Interval", 400);
    }
    auto reread = std::make_unique<CVItemView>();
    EXPECT_EQ(reread->columnWidth(2), 120);  // negative: the default
    EXPECT_EQ(reread->columnWidth(3), 77);
    EXPECT_EQ(reread->SortOrder().column, kColumnUpdateCount);
    EXPECT_TRUE(reread->SortOrder().descending);
    EXPECT_EQ(reread->UpdateInterval(), 400);

    reread->setColumnWidth(0, 222);
    reread->SetUpdateInterval(1000);
    reread.reset();
    Profile profile;
    EXPECT_EQ(profile.GetInt(CVItemView::kSection, "0", 0), 222);
    EXPECT_EQ(profile.GetInt(CVItemView::kSection, "Update Interval", 0), 1000);
}

TEST_F(ItemViewTest, TheTimerRestartsOnlyWhenTheIntervalChanges) {
    auto* timer = view->findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    ASSERT_EQ(timer->interval(), CVItemView::kDefaultInterval);
    QThread::msleep(80);
    view->SetUpdateInterval(CVItemView::kDefaultInterval);  // the same: the timer runs on
    EXPECT_LE(timer->remainingTime(), CVItemView::kDefaultInterval - 60);
    view->SetUpdateInterval(500);  // restarted with the new interval
    EXPECT_EQ(timer->interval(), 500);
    EXPECT_GT(timer->remainingTime(), 400);
}

TEST_F(ItemViewTest, TheListEmptiesBeforeItsGroupOrServerGoes) {
    AddItem("A");
    ShowGroup();
    CVGroup other(server, ThreadStart::kLater);
    document.UpdateAllViews(nullptr, HINT_GROUP_REMOVED, &other);  // another group: kept
    EXPECT_EQ(view->Model().rowCount(), 1);
    document.UpdateAllViews(nullptr, HINT_GROUP_REMOVED, group);
    EXPECT_EQ(view->Model().rowCount(), 0);

    ShowGroup();
    document.UpdateAllViews(nullptr, HINT_SERVER_REMOVED, server);
    EXPECT_EQ(view->Model().rowCount(), 0);
}

TEST_F(ItemViewTest, TabAndShiftTabGoToTheNextAndThePreviousPane) {
    QWidget window;  // with another field that Qt would give the focus to
    auto* layout = new QVBoxLayout(&window);
    view->setParent(&window);
    layout->addWidget(view.get());
    layout->addWidget(new QLineEdit(&window));
    window.show();
    view->setFocus();
    FrameRecorder frame;
    view->SetFrame(&frame);
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Tab, Qt::NoModifier}, std::pair{Qt::Key_Backtab, Qt::ShiftModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(view.get(), &press);
    }
    EXPECT_EQ(frame.dispatched, (std::vector<unsigned>{ID_NEXT_PANE, ID_PREV_PANE}));
    view->setParent(nullptr);
}

// Records the regions the viewport paints.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

TEST_F(ItemViewTest, AStateChangeRepaintsTheImagesWhereTheyAreWhenScrolledSideways) {
    CVItem* item = AddItem("Pump1.Flow");
    ShowGroup();
    view->SetUpdateInterval(24 * 60 * 60 * 1000);  // no live repaint meanwhile
    view->resize(300, 200);
    view->show();
    view->horizontalScrollBar()->setValue(view->columnWidth(kColumnItemId) + 30);  // the images out of sight
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    view->viewport()->installEventFilter(&recorder);

    document.UpdateAllViews(nullptr, HINT_ITEM_STATES_CHANGED, item);
    const QRect marker(250, 150, 1, 1);  // painted with whatever the hint asked for
    view->viewport()->update(marker);
    QDeadlineTimer deadline(10000);
    while (!recorder.painted.contains(marker) && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(recorder.painted.contains(marker));
    const int imagesLeft = view->columnViewportPosition(kColumnItemId);
    const QRect images(imagesLeft, 0, view->iconSize().width() + 8, view->viewport()->height());
    EXPECT_EQ(recorder.painted - QRegion(marker) - QRegion(images), QRegion()) << "only the image strip is repainted";
    view->viewport()->removeEventFilter(&recorder);
}

TEST_F(ItemViewTest, OnlyTheLeftButtonsDoubleClickOpensProperties) {
    FrameRecorder frame;
    view->SetFrame(&frame);
    AddItem("Pump1.Flow");
    ShowGroup();
    view->resize(400, 200);
    const QPoint row = view->visualRect(view->Model().index(0, 0)).center();
    DoubleClickWithEachButton(*view, row);
    EXPECT_EQ(frame.dispatched, std::vector<unsigned>{ID_PROPERTIES});
}
