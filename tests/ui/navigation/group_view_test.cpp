// The group tree over a project document, with the item list beside it: hints build and
// empty the tree, the selection drives the document and the item list, the images follow
// the connection, and the tree's commands act on the selected entry.
#include "docview/document_prompts.h"
#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "simserver/server_registry.h"
#include "simserver/sim_config.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/frame_recorder.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/items/item_cells.h"
#include "ui/items/item_list_model.h"
#include "ui/items/item_view.h"
#include "ui/navigation/group_tree_model.h"
#include "ui/navigation/group_view.h"

#include <QClipboard>
#include <QFont>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <string>
#include <mutex>
#include <vector>

namespace {

class GroupViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile::UseFolderForTesting(folder / "profile");
        tree = std::make_unique<CVGroupView>();
        items = std::make_unique<CVItemView>();
        document.AddView(tree.get());
        document.AddView(items.get());
    }
    void TearDown() override {
        document.DeleteContents();
        items.reset();
        tree.reset();
    }

    CVServer* NewServer(const std::string& progId) {
        auto* server = new CVServer(ThreadStart::kLater);
        server->progId = progId;
        document.AddNewServer(server);  // hint 1000
        return server;
    }
    // A group with the first `itemCount` of the simulation server's ramps.
    CVGroup* NewGroup(CVServer* server, const std::string& name, int itemCount = 0) {
        static const char* const kRamps[] = {"Ramp.I2", "Ramp.I4", "Ramp.R8"};
        auto* group = new CVGroup(server, ThreadStart::kLater);
        group->SetName(name);
        server->LinkGroup(group);
        for (int i = 0; i < itemCount && i < 3; ++i) {
            auto* item = new CVItem(group);
            item->itemId = kRamps[i];
            group->LinkItem(item);
        }
        document.UpdateAllViews(nullptr, HINT_GROUP_ADDED, group);
        return group;
    }
    // The texts of the root entries, or of the children of `parent`.
    std::vector<std::string> Texts(const QModelIndex& parent = QModelIndex()) const {
        std::vector<std::string> texts;
        const GroupTreeModel& model = tree->Model();
        for (int row = 0; row < model.rowCount(parent); ++row)
            texts.push_back(model.data(model.index(row, 0, parent), Qt::DisplayRole).toString().toStdString());
        return texts;
    }

    TempFolder folder;
    CVDocument document{CItemAddressRegistry::Instance()};
    std::unique_ptr<CVGroupView> tree;
    std::unique_ptr<CVItemView> items;
};

}  // namespace

TEST_F(GroupViewTest, EntriesGoInSortedPlaceAndTheNewOneIsSelected) {
    CVServer* b = NewServer("B.Server");
    CVServer* a = NewServer("A.Server");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A.Server", "B.Server"}));
    EXPECT_EQ(tree->SelectedServer(), a);
    EXPECT_EQ(document.GetCurrentServer(), a);

    NewGroup(b, "Tanks");
    CVGroup* pumps = NewGroup(b, "Pumps", 3);
    EXPECT_EQ(Texts(tree->Model().IndexOfServer(b)), (std::vector<std::string>{"Pumps", "Tanks"}));
    // Selecting a group makes it current and lists its items.
    EXPECT_EQ(tree->SelectedGroup(), pumps);
    EXPECT_EQ(document.GetCurrentGroup(), pumps);
    EXPECT_EQ(document.GetCurrentServer(), nullptr);
    EXPECT_EQ(items->Model().rowCount(), 3);
    // The selected entry is bold, the others are not.
    const QModelIndex selected = tree->Model().IndexOfGroup(pumps);
    EXPECT_TRUE(tree->Model().data(selected, Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(tree->Model().data(tree->Model().IndexOfServer(a), Qt::FontRole).isValid());

    // Selecting a server empties the item list.
    tree->SelectServer(a);
    EXPECT_EQ(document.GetCurrentServer(), a);
    EXPECT_EQ(document.GetCurrentGroup(), nullptr);
    EXPECT_EQ(items->Model().rowCount(), 0);
}

TEST_F(GroupViewTest, HintsSelectAndRemoveEntries) {
    CVServer* server = NewServer("A.Server");
    CVGroup* first = NewGroup(server, "First", 2);
    CVGroup* second = NewGroup(server, "Second");
    document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, first);
    EXPECT_EQ(tree->SelectedGroup(), first);
    EXPECT_EQ(items->Model().rowCount(), 2);

    // An entry that cannot be inserted (no object, or a group of a server not listed) leaves
    // the selection as it is.
    CVServer unlisted(ThreadStart::kLater);
    CVGroup stray(&unlisted, ThreadStart::kLater);
    for (const auto& [hint, object] : {std::pair<int, void*>{HINT_GROUP_ADDED, &stray},
                                       std::pair<int, void*>{HINT_GROUP_ADDED, nullptr},
                                       std::pair<int, void*>{HINT_SERVER_ADDED, nullptr}}) {
        document.UpdateAllViews(nullptr, hint, object);
        EXPECT_EQ(tree->SelectedGroup(), first) << hint;
        EXPECT_EQ(items->Model().rowCount(), 2) << hint;
    }

    document.UpdateAllViews(nullptr, HINT_GROUP_REMOVED, second);
    EXPECT_EQ(Texts(tree->Model().IndexOfServer(server)), (std::vector<std::string>{"First"}));
    document.UpdateAllViews(nullptr, HINT_SERVER_REMOVED, server);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(tree->SelectedGroup(), nullptr);
}

TEST_F(GroupViewTest, DeletingTheLastServerLeavesNothingCurrent) {
    CVServer* server = NewServer("A.Server");
    CVGroup* group = NewGroup(server, "Pumps", 2);
    document.SetModifiedFlag(false);
    ASSERT_EQ(tree->SelectedGroup(), group);

    ASSERT_TRUE(tree->OnCommand(ID_DELETE));  // the group, without asking
    EXPECT_EQ(server->GroupCount(), 0);
    EXPECT_EQ(items->Model().rowCount(), 0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.GetCurrentGroup(), nullptr);

    tree->SelectServer(server);
    ASSERT_TRUE(tree->OnCommand(ID_DELETE));
    EXPECT_EQ(document.ServerCount(), 0);
    EXPECT_EQ(document.GetCurrentServer(), nullptr);
    EXPECT_EQ(document.GetCurrentGroup(), nullptr);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(GroupViewTest, ALoadedProjectIsListedWithTheFirstEntrySelected) {
    // Two servers that never connect (their ProgIDs are not registered).
    CVServer* zeta = NewServer("Zeta.Unregistered");
    NewGroup(zeta, "Z1");
    CVServer* alpha = NewServer("Alpha.Unregistered");
    NewGroup(alpha, "A2");
    NewGroup(alpha, "A1");
    const std::string path = folder / "two.ovopc";
    ASSERT_TRUE(document.OnSaveDocument(path));
    ASSERT_TRUE(document.OnOpenDocument(path));  // unloads (1061), then loads (1060)

    EXPECT_EQ(Texts(), (std::vector<std::string>{"Alpha.Unregistered", "Zeta.Unregistered"}));
    EXPECT_EQ(Texts(tree->Model().index(0, 0)), (std::vector<std::string>{"A1", "A2"}));
    ASSERT_NE(tree->SelectedServer(), nullptr);
    EXPECT_EQ(tree->SelectedServer()->progId, "Alpha.Unregistered");
    // Groups never created on a server show the same image, selected or not.
    const QModelIndex group = tree->Model().index(0, 0, tree->Model().index(0, 0));
    EXPECT_EQ(tree->Model().ImageOf(group), TreeImage::kGroupNotCreated);
    tree->SelectGroup(tree->Model().GroupAt(group));
    EXPECT_EQ(tree->Model().ImageOf(group), TreeImage::kGroupNotCreated);
}

TEST_F(GroupViewTest, TheContextMenusFollowTheEntryUnderTheCursor) {
    CVServer* server = NewServer("A.Server");
    CVGroup* group = NewGroup(server, "Pumps");
    const GroupTreeModel& model = tree->Model();
    EXPECT_EQ(tree->ContextMenuCommands(model.IndexOfGroup(group)),
              (std::vector<unsigned>{ID_NEW_ITEM, 0, ID_CLONE_GROUP, 0, ID_EXPORT_CSV, ID_IMPORT_CSV, ID_DELETE, 0,
                                     ID_PROPERTIES}));
    EXPECT_EQ(tree->ContextMenuCommands(model.IndexOfServer(server)),
              (std::vector<unsigned>{ID_NEW_GROUP, 0, ID_CONNECT, ID_DISCONNECT, ID_RECONNECT, 0,
                                     ID_SERVER_ERROR_STRING, 0, ID_ENUMERATE_GROUPS, ID_GROUP_BY_NAME, ID_DELETE, 0,
                                     ID_PROPERTIES}));
    EXPECT_EQ(tree->ContextMenuCommands(QModelIndex()), (std::vector<unsigned>{ID_NEW_SERVER}));
}

TEST_F(GroupViewTest, ConnectAndDisconnectChangeTheServerImage) {
    simserver::RegisterSimulationServers();
    CVServer* server = NewServer("Orvane OPC");
    CVGroup* group = NewGroup(server, "Pumps");
    group->updateRate = 100;
    const QModelIndex entry = tree->Model().IndexOfServer(server);
    EXPECT_EQ(tree->Model().ImageOf(entry), TreeImage::kServerNotConnected);

    tree->SelectServer(server);
    ASSERT_TRUE(tree->OnCommand(ID_CONNECT));
    EXPECT_EQ(tree->Model().ImageOf(entry), TreeImage::kServerConnected);
    EXPECT_EQ(tree->Model().ImageOf(tree->Model().IndexOfGroup(group)), TreeImage::kGroupActive);

    ASSERT_TRUE(tree->OnCommand(ID_RECONNECT));
    EXPECT_EQ(tree->Model().ImageOf(entry), TreeImage::kServerConnected);

    ASSERT_TRUE(tree->OnCommand(ID_DISCONNECT));
    EXPECT_EQ(tree->Model().ImageOf(entry), TreeImage::kServerNotConnected);
    EXPECT_EQ(tree->Model().ImageOf(tree->Model().IndexOfGroup(group)), TreeImage::kGroupNotCreated);
}

// The tree and the item list keep painting, and the list rebuilding, while the document's
// worker connects the server and adds items: the server holds each AddItems call until the
// views have painted, so they read the group's state, its item list and the items' data types
// while the worker writes them (the threaded run checks that every such read is safe).
TEST_F(GroupViewTest, TheViewsPaintAndRebuildWhileTheWorkerConnectsAndAddsItems) {
    // The painter counts its rounds; the server's AddItems waits for three more.
    std::mutex mutex;
    std::condition_variable painted;
    int paints = 0;
    int heldCalls = 0;
    simserver::SimConfig config;
    config.addItemsHook = [&] {
        std::unique_lock lock(mutex);
        const int start = paints;
        if (painted.wait_for(lock, std::chrono::seconds(10), [&] { return paints >= start + 3; })) ++heldCalls;
    };
    simserver::RegisterSimulationServer("Test.Views.WhileAdding", config);
    CVServer* server = NewServer("Test.Views.WhileAdding");
    CVGroup* group = NewGroup(server, "Pumps");
    static const char* const kIds[] = {"Ramp.I2", "Ramp.I4", "Ramp.R8", "Random.BOOL", "Random.BSTR"};
    const auto newItems = [group](int count) {
        std::vector<CVItem*> made;
        for (int i = 0; i < count; ++i) {
            auto* item = new CVItem(group);
            item->itemId = kIds[i % 5];
            made.push_back(item);
        }
        return made;
    };
    for (CVItem* item : newItems(100)) group->LinkItem(item);
    document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, group);
    ASSERT_EQ(items->Model().rowCount(), 100);

    QTimer painter;
    painter.setInterval(0);
    QObject::connect(&painter, &QTimer::timeout, [&] {
        tree->grab();
        items->grab();
        document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, group);  // rebuilds the list
        {
            std::lock_guard lock(mutex);
            ++paints;
        }
        painted.notify_all();
    });
    painter.start();
    document.ConnectServer(server);
    document.AddNewItems(*group, newItems(100));  // enough to go to the worker
    painter.stop();

    EXPECT_EQ(heldCalls, 2) << "each AddItems call saw the views paint";
    EXPECT_EQ(items->Model().rowCount(), 200);
    EXPECT_EQ(tree->Model().ImageOf(tree->Model().IndexOfGroup(group)), TreeImage::kGroupActive);
    EXPECT_EQ(items->Model().CellText(0, kColumnDataType).toStdString().empty(), false);
}

TEST_F(GroupViewTest, CloneAddsTheCopyBesideTheGroupAndSelectsIt) {
    simserver::RegisterSimulationServers();
    CVServer* server = NewServer("Orvane OPC");
    CVGroup* group = NewGroup(server, "Pumps", 2);
    tree->SelectServer(server);
    ASSERT_TRUE(tree->OnCommand(ID_CONNECT));
    tree->SelectGroup(group);
    document.SetModifiedFlag(false);

    ASSERT_TRUE(tree->OnCommand(ID_CLONE_GROUP));
    EXPECT_EQ(server->GroupCount(), 2);
    CVGroup* clone = tree->SelectedGroup();
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, group);
    EXPECT_EQ(clone->ItemCount(), 2u);
    EXPECT_EQ(items->Model().rowCount(), 2);
    EXPECT_TRUE(document.IsModified());
}

TEST_F(GroupViewTest, NewServerTakesWhatTheSheetCreated) {
    CVServer* created = nullptr;
    tree->SetServerSheet([&](QWidget*, CVServer* existing) -> CVServer* {
        if (existing) return nullptr;
        created = new CVServer(ThreadStart::kLater);
        created->progId = "From.Sheet";
        return created;
    });
    document.SetModifiedFlag(false);
    ASSERT_TRUE(tree->OnCommand(ID_NEW_SERVER));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(document.FirstServer(), created);
    EXPECT_EQ(tree->SelectedServer(), created);
    EXPECT_TRUE(document.IsModified());

    // Properties of an existing server change nothing.
    document.SetModifiedFlag(false);
    ASSERT_TRUE(tree->OnCommand(ID_PROPERTIES));
    EXPECT_FALSE(document.IsModified());
}

TEST_F(GroupViewTest, NewGroupAndGroupPropertiesGoThroughTheGroupSheet) {
    CVServer* server = NewServer("Orvane OPC");
    tree->SelectServer(server);
    std::vector<std::pair<CVServer*, CVGroup*>> calls;
    bool confirm = false;
    tree->SetGroupSheet([&](QWidget*, CVServer* of, CVGroup* group) -> CVGroup* {
        calls.emplace_back(of, group);
        if (!confirm) return nullptr;
        if (group) return group;
        auto* made = new CVGroup(of, ThreadStart::kLater);
        made->SetName("Line 1");
        of->LinkGroup(made);
        return made;
    });
    document.SetModifiedFlag(false);
    ASSERT_TRUE(tree->OnCommand(ID_NEW_GROUP));
    EXPECT_FALSE(document.IsModified()) << "a cancelled sheet changes nothing";
    EXPECT_EQ(Texts(tree->Model().index(0, 0)), std::vector<std::string>{});

    confirm = true;
    ASSERT_TRUE(tree->OnCommand(ID_NEW_GROUP));
    EXPECT_TRUE(document.IsModified());
    ASSERT_EQ(Texts(tree->Model().index(0, 0)), std::vector<std::string>{"Line 1"});
    CVGroup* group = tree->SelectedGroup();
    ASSERT_TRUE(group) << "the new group is selected";

    document.SetModifiedFlag(false);
    ASSERT_TRUE(tree->OnCommand(ID_PROPERTIES));
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(calls, (std::vector<std::pair<CVServer*, CVGroup*>>{{server, nullptr}, {server, nullptr}, {nullptr, group}}));
}

TEST_F(GroupViewTest, OnlyTheLeftButtonsDoubleClickOpensProperties) {
    FrameRecorder frame;
    tree->SetFrame(&frame);
    NewServer("Orvane OPC");
    tree->resize(300, 200);
    const QPoint entry = tree->visualRect(tree->Model().index(0, 0)).center();
    DoubleClickWithEachButton(*tree, entry);
    EXPECT_EQ(frame.dispatched, std::vector<unsigned>{ID_PROPERTIES});
}

namespace {

class RecordedPrompts : public DocumentPrompts {
public:
    Answer AskSaveChanges(const std::string&) override { return Answer::No; }
    std::string AskSavePath(const std::string&) override { return {}; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::vector<std::string> errors;
};

}  // namespace

TEST_F(GroupViewTest, CopyCutAndPasteMoveServersAndGroupsThroughTheClipboard) {
    // Servers that never connect (their ProgIDs are not registered).
    CVServer* b = NewServer("B.Unregistered");
    CVServer* a = NewServer("A.Unregistered");
    CVGroup* pumps = NewGroup(a, "Pumps", 2);

    // A group copied from one server and pasted into another.
    ASSERT_EQ(tree->SelectedGroup(), pumps);
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_COPY));
    EXPECT_TRUE(ClipboardHas(kGroupClipFormat));
    EXPECT_FALSE(ClipboardHas(kServerClipFormat));
    tree->SelectServer(b);
    document.SetModifiedFlag(false);
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_PASTE));
    ASSERT_EQ(b->GroupCount(), 1);
    EXPECT_EQ(b->FirstGroup()->Name(), "Pumps");
    EXPECT_EQ(Texts(tree->Model().IndexOfServer(b)), std::vector<std::string>{"Pumps"});
    EXPECT_EQ(tree->SelectedGroup(), b->FirstGroup());
    EXPECT_EQ(items->Model().rowCount(), 2);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(a->FirstGroup(), pumps);

    // The empty area's menu offers Paste only for a server on the clipboard.
    EXPECT_EQ(tree->ContextMenuCommands(QModelIndex()), (std::vector<unsigned>{ID_NEW_SERVER}));
    // A server cut: it goes, and comes back with its group where nothing is selected.
    tree->SelectServer(a);
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_CUT));
    EXPECT_EQ(document.ServerCount(), 1);
    EXPECT_TRUE(ClipboardHas(kServerClipFormat));
    EXPECT_EQ(tree->ContextMenuCommands(QModelIndex()), (std::vector<unsigned>{ID_NEW_SERVER, 0, ID_EDIT_PASTE}));
    tree->SelectServer(nullptr);
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_PASTE));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A.Unregistered", "B.Unregistered"}));
    CVServer* back = document.FirstServer();
    EXPECT_EQ(back->progId, "A.Unregistered");
    ASSERT_EQ(back->GroupCount(), 1);
    EXPECT_EQ(back->FirstGroup()->ItemCount(), 2u);
    EXPECT_EQ(Texts(tree->Model().IndexOfServer(back)), std::vector<std::string>{"Pumps"});
}

TEST_F(GroupViewTest, BadClipboardContentIsRefusedWithAMessageAndChangesNothing) {
    RecordedPrompts prompts;
    document.SetPrompts(&prompts);
    CVServer* server = NewServer("A.Unregistered");
    NewGroup(server, "Pumps", 1);
    tree->SelectServer(server);
    document.SetModifiedFlag(false);
    const std::vector<std::uint8_t> foreign = {0x02, 0, 0, 0, 'n', 'o', 't', ' ', 'o', 'u', 'r', 's'};
    PutOnClipboard(kGroupClipFormat, foreign);
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_PASTE));
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(server->GroupCount(), 1);
    EXPECT_EQ(Texts(tree->Model().IndexOfServer(server)), std::vector<std::string>{"Pumps"});

    // 100 MB under the item format, with the group selected: refused before it is read.
    CVGroup* group = server->FirstGroup();
    tree->SelectGroup(group);
    PutOnClipboard(kItemClipFormat, std::vector<std::uint8_t>(std::size_t{100} << 20, 1));
    ASSERT_TRUE(tree->OnCommand(ID_EDIT_PASTE));
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.errors[1], "剪贴板中的数据太大，没有粘贴任何内容。");
    EXPECT_EQ(group->ItemCount(), 1u);
    EXPECT_EQ(items->Model().rowCount(), 1);
    EXPECT_FALSE(document.IsModified());
    QGuiApplication::clipboard()->clear();
    document.SetPrompts(nullptr);
}
