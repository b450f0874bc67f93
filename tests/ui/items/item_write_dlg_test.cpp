// The write dialog against the simulation server: the rows and the title of each mode, edited
// rows written once with their last text, the marks that Esc and Cancel withdraw, and the live
// current values.
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/strings/string_ids.h"
#include "simserver/server_registry.h"
#include "tests/support/event_recorder.h"
#include "tests/support/messages.h"
#include "ui/controls/list_edit.h"
#include "ui/items/item_write_dlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class WriteDialog : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        server.progId = simserver::kDefaultProgId;
        ASSERT_TRUE(server.Connect());
        MakeGroup("Writes", kDataChangeMode20);
    }
    // A group on the server with the three writable items, which become `items`.
    void MakeGroup(const char* name, DWORD mode) {
        group = new CVGroup(&server, ThreadStart::kLater);
        group->SetName(name);
        group->SetDataChangeMode(mode);
        server.AddGroup(group, false);
        std::vector<CVItem*> made;
        for (const char* id : {"Writable.I4", "Writable.BOOL", "Writable.BSTR"}) {
            auto* item = new CVItem(group);
            item->itemId = id;
            item->active = TRUE;
            made.push_back(item);
        }
        group->AddItems(made.data(), static_cast<int>(made.size()), false);
        items = made;
        // The first values come with the first data change, a moment after the items are added.
        for (CVItem* item : items) ASSERT_TRUE(WaitFor([item] { return item->GetUpdateCount() > 0; })) << item->itemId;
    }
    void TearDown() override { server.Disconnect(); }

    std::unique_ptr<CVItemWriteDlg> Open(WriteMode mode) {
        return std::make_unique<CVItemWriteDlg>(*group, items, mode);
    }
    // Types `text` into the write-value cell of `row` and leaves the cell with `key`.
    static void EditRow(CVItemWriteDlg& dialog, int row, const char* text, int key = Qt::Key_Return) {
        dialog.List()->EditCell(row, ItemWriteModel::kWriteValue);
        CVListEdit* box = dialog.List()->Editor();
        ASSERT_TRUE(box);
        QTest::keyClicks(box, QString::fromUtf8(text));
        QTest::keyClick(box, static_cast<Qt::Key>(key));
    }
    static std::string ValueOf(CVItem* item) {
        std::string text;
        item->FormatValue(text);
        return text;
    }
    static bool WaitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    bool WaitForValue(CVItem* item, const std::string& value) {
        return WaitFor([&] { return ValueOf(item) == value; });
    }

    EventRecorder recorder;
    CVServer server{ThreadStart::kLater};
    CVGroup* group = nullptr;
    std::vector<CVItem*> items;
};

TEST_F(WriteDialog, EachModeHasItsTitleAndOneRowPerItem) {
    const std::pair<WriteMode, const char*> titles[] = {
        {WriteMode::Sync, "同步写入"}, {WriteMode::Async10, "异步方式 1.0 写"}, {WriteMode::Async20, "异步方式 2.0 写"}};
    for (const auto& [mode, title] : titles) {
        auto dialog = Open(mode);
        EXPECT_EQ(dialog->windowTitle().toStdString(), title);
        EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
    }
    auto dialog = Open(WriteMode::Sync);
    const ItemWriteModel& rows = dialog->Rows();
    ASSERT_EQ(rows.rowCount(), 3);
    EXPECT_EQ(rows.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "写入值");
    EXPECT_EQ(rows.data(rows.index(2, 0), Qt::DisplayRole).toString(), "Writable.BSTR");
    EXPECT_EQ(rows.data(rows.index(2, 1), Qt::DisplayRole).toString(), "text") << "the current value";
    EXPECT_EQ(dialog->List()->columnWidth(1), 150);
}

TEST_F(WriteDialog, EditedRowsAreWrittenOnceWithTheirLastText) {
    auto dialog = Open(WriteMode::Sync);
    EditRow(*dialog, 0, "7");
    EditRow(*dialog, 0, "12abc");  // the same row again: written once, with this text
    EXPECT_TRUE(items[0]->pendingWrite);
    EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
    ASSERT_TRUE(dialog->Apply());
    EXPECT_FALSE(items[0]->pendingWrite);
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
    EXPECT_EQ(recorder.CountOf(Msg(IDS_SYNC_WRITE_DONE, 1, "Writes")), 1) << "one item written";
    EXPECT_TRUE(WaitForValue(items[0], "12")) << "the number's leading digits";
    EXPECT_FALSE(dialog->Apply()) << "nothing is left to write";

    // OK stores and writes an edit still open.
    dialog->List()->EditCell(2, ItemWriteModel::kWriteValue);
    QTest::keyClicks(dialog->List()->Editor(), "hello");
    dialog->accept();
    EXPECT_TRUE(WaitForValue(items[2], "hello"));
}

TEST_F(WriteDialog, EscAndCancelWithdrawTheMarksTheySet) {
    auto dialog = Open(WriteMode::Async20);
    EditRow(*dialog, 1, "1", Qt::Key_Escape);
    EXPECT_FALSE(items[1]->pendingWrite) << "the abandoned edit leaves nothing to write";
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());

    EditRow(*dialog, 1, "1");
    EditRow(*dialog, 1, "0", Qt::Key_Escape);
    EXPECT_TRUE(items[1]->pendingWrite) << "the earlier edit still waits";
    EXPECT_EQ(dialog->Rows().WriteText(1), "1");

    EditRow(*dialog, 0, "5");
    dialog->reject();
    for (CVItem* item : items) EXPECT_FALSE(item->pendingWrite) << item->itemId;
    EXPECT_EQ(ValueOf(items[0]), "0") << "Cancel writes nothing";
}

TEST_F(WriteDialog, TheAsynchronousModesWriteThroughTheirInterfaces) {
    auto dialog = Open(WriteMode::Async20);
    EditRow(*dialog, 0, "42");
    ASSERT_TRUE(dialog->Apply());
    EXPECT_TRUE(WaitForValue(items[0], "42"));

    MakeGroup("Writes 1.0", kDataChangeMode10DataTime);  // a 1.0 group writes through IOPCAsyncIO
    auto dialog10 = Open(WriteMode::Async10);
    EditRow(*dialog10, 0, "43");
    ASSERT_TRUE(dialog10->Apply());
    EXPECT_TRUE(WaitForValue(items[0], "43"));
}

}  // namespace
