// The split-save dialog, the project file commands with their file dialogs, and the wait
// cursor, on the offscreen platform.
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/config/opc_config.h"
#include "platform/settings/profile.h"
#include "tests/platform/temp_folder.h"
#include "ui/persistence/project_commands.h"
#include "ui/persistence/qt_wait_ui.h"
#include "ui/persistence/split_save_dlg.h"
#include "opc/client/item_address_registry.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ProjectCommands : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolderForTesting(folder.path());
        Profile::UseFolderForTesting(folder / "profile");
        server = new CVServer();
        server->progId = "Offline.One";
        document.AddNewServer(server);
        group = new CVGroup(server);
        group->SetName("Pumps");
        server->LinkGroup(group);
    }
    void TearDown() override {
        document.DeleteContents();
        SetProgramFolderForTesting("");
    }

    TempFolder folder;
    CVDocument document{CItemAddressRegistry::Instance()};
    CVServer* server = nullptr;
    CVGroup* group = nullptr;
};

}  // namespace

TEST(SplitSaveDlg, ShowsTheTotalReadOnlyAndTwoFiles) {
    CSplitSaveDlg dialog(1234);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("分页保存"));
    EXPECT_EQ(dialog.ItemTotalEdit()->text(), "1234");
    EXPECT_TRUE(dialog.ItemTotalEdit()->isReadOnly());
    EXPECT_EQ(dialog.FileCountEdit()->text(), "2");
    EXPECT_FALSE(dialog.FileCountEdit()->isReadOnly());
}

TEST(SplitSaveDlg, OkTakesAnIntegerAndStaysOpenOtherwise) {
    struct Case {
        const char* text;
        bool accepted;
        int count;
    };
    const Case cases[] = {{"3", true, 3},    {" 7 ", true, 7}, {"-1", true, -1},
                          {"abc", false, 2}, {"", false, 2},   {"2.5", false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> messages;
        CSplitSaveDlg dialog(10, nullptr, [&](QWidget*, const std::string& text) { messages.push_back(text); });
        dialog.FileCountEdit()->setText(c.text);
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(dialog.FileCount(), c.count);
        EXPECT_EQ(messages.size(), c.accepted ? 0u : 1u);
    }
}

TEST_F(ProjectCommands, SplitSaveAsksForTheCountThenTheBasePath) {
    for (int i = 0; i < 5; ++i) {
        auto* item = new CVItem(group);
        item->itemId = "Tag" + std::to_string(i);
        group->LinkItem(item);
    }
    int shownTotal = -1;
    FileDialogRequest asked;
    RunSplitSaveCommand(
        nullptr, document, 5,
        [&](QWidget*, int total) {
            shownTotal = total;
            return 2;
        },
        [&](QWidget*, const FileDialogRequest& request) {
            asked = request;
            return folder / "split";
        });
    EXPECT_EQ(shownTotal, 5);
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.filter, "");
    EXPECT_EQ(asked.defaultSuffix, "");
    EXPECT_TRUE(std::filesystem::exists(folder / "split-1.ovopc"));
    EXPECT_TRUE(std::filesystem::exists(folder / "split-2.ovopc"));

    // Cancel in either dialog writes nothing.
    RunSplitSaveCommand(
        nullptr, document, 5, [](QWidget*, int) { return -1; },
        [&](QWidget*, const FileDialogRequest&) { return folder / "never"; });
    RunSplitSaveCommand(
        nullptr, document, 5, [](QWidget*, int) { return 2; },
        [](QWidget*, const FileDialogRequest&) { return std::string(); });
    EXPECT_FALSE(std::filesystem::exists(folder / "never-1.ovopc"));
}

TEST_F(ProjectCommands, CsvDialogsProposeTheGroupInTheRememberedFolder) {
    Profile().WriteString("Paths", "Open File", folder.path());
    const FileDialogRequest exportRequest = CsvExportDialogRequest(*group);
    EXPECT_TRUE(exportRequest.save);
    EXPECT_EQ(exportRequest.title, "导出到CSV");
    EXPECT_EQ(exportRequest.filter, "CSV Files (*.csv);;All files (*)");
    EXPECT_EQ(exportRequest.defaultSuffix, "csv");
    EXPECT_EQ(exportRequest.proposedName, "Pumps");
    EXPECT_EQ(exportRequest.folder, folder.path());
    const FileDialogRequest importRequest = CsvImportDialogRequest(*group);
    EXPECT_FALSE(importRequest.save);
    EXPECT_EQ(importRequest.title, "从CSV导入");
}

TEST_F(ProjectCommands, ExportThenImportThroughTheCommands) {
    auto* item = new CVItem(group);
    item->itemId = "A.B";
    group->LinkItem(item);
    const auto choose = [&](QWidget*, const FileDialogRequest&) { return folder / "pumps.csv"; };
    ASSERT_TRUE(RunExportCsvCommand(nullptr, document, *group, choose));
    ASSERT_TRUE(RunImportCsvCommand(nullptr, document, *group, choose));
    EXPECT_EQ(group->ItemCount(), 2u);
    EXPECT_FALSE(RunImportCsvCommand(nullptr, document, *group, [](QWidget*, const FileDialogRequest&) { return ""; }));
    EXPECT_EQ(group->ItemCount(), 2u);
}

TEST(QtDocumentWaitUi, CursorsStackAndComeOff) {
    QtDocumentWaitUi ui;
    ui.ShowCursor(DocumentWaitUi::Cursor::Wait);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.ShowCursor(DocumentWaitUi::Cursor::AppStarting);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    ui.RestoreCursor();
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.RestoreCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
