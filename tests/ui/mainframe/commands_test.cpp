#include "mainframe_fixture.h"

#include "docview/view.h"
#include "platform/strings/command_ids.h"
#include "ui/eventlog/event_view.h"
#include "ui/framework/recent_file_list.h"
#include "ui/items/item_view.h"
#include "ui/navigation/group_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <QTimer>

#include <thread>

namespace {

bool Enabled(CVMainWnd& window, unsigned id) { return window.Commands().Find(id)->isEnabled(); }

QMenu* TopMenu(CVMainWnd& window, int index) { return window.menuBar()->actions().at(index)->menu(); }

class RecordingTarget : public CommandTarget {
public:
    bool OnCommand(unsigned id) override {
        received.push_back(id);
        return true;
    }
    std::vector<unsigned> received;
};

}  // namespace

TEST_F(MainFrameTest, EnablingFollowsBusyModifiedAndTheProjectState) {
    auto window = MakeWindow();
    int server = 0;
    struct Case {
        const char* name;
        bool busy, modified;
        int servers;
        bool serverCurrent;
        unsigned id;
        bool enabled;
    };
    const Case cases[] = {
        {"New when idle", false, false, 0, false, ID_FILE_NEW, true},
        {"New while busy", true, false, 0, false, ID_FILE_NEW, false},
        {"Open while busy", true, false, 0, false, ID_FILE_OPEN, false},
        {"Exit while busy", true, false, 0, false, ID_APP_EXIT, false},
        {"New server while busy", true, false, 0, false, ID_NEW_SERVER, false},
        {"New server when idle", false, false, 0, false, ID_NEW_SERVER, true},
        {"Save unmodified", false, false, 0, false, ID_FILE_SAVE, false},
        {"Save modified", false, true, 0, false, ID_FILE_SAVE, true},
        {"Save modified but busy", true, true, 0, false, ID_FILE_SAVE, false},
        {"Save As without servers", false, true, 0, false, ID_FILE_SAVE_AS, false},
        {"Save As with a server", false, false, 1, false, ID_FILE_SAVE_AS, true},
        {"New group without a current server", false, false, 1, false, ID_NEW_GROUP, false},
        {"New group with a current server", false, false, 1, true, ID_NEW_GROUP, true},
        {"New group while busy", true, false, 1, true, ID_NEW_GROUP, false},
        {"Properties with a current server", false, false, 1, true, ID_PROPERTIES, true},
        {"New item without a current group", false, false, 1, true, ID_NEW_ITEM, false},
        {"Clear events without rows", false, false, 0, false, ID_CLEAR_EVENTS, false},
        {"Update interval always", true, false, 0, false, ID_UPDATE_INTERVAL, true},
        {"Show window always", true, false, 0, false, ID_SHOW_WINDOW, true},
        {"Autostart always", true, false, 0, false, ID_AUTOSTART, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        document_.busy = c.busy;
        document_.SetModifiedFlag(c.modified);
        document_.servers = c.servers;
        document_.server = c.serverCurrent ? &server : nullptr;
        window->UpdateCommandStates();
        EXPECT_EQ(Enabled(*window, c.id), c.enabled);
    }
}

TEST_F(MainFrameTest, RulesAreEvaluatedWhenAMenuOpensAndOnTheStatusTimer) {
    auto window = MakeWindow();
    window->UpdateCommandStates();
    ASSERT_TRUE(Enabled(*window, ID_FILE_NEW));

    document_.busy = true;
    emit TopMenu(*window, 0)->aboutToShow();
    EXPECT_FALSE(Enabled(*window, ID_FILE_NEW));

    document_.busy = false;
    ASSERT_TRUE(WaitFor([&] { return Enabled(*window, ID_FILE_NEW); }));

    // A rule added later is one line and takes effect at the next evaluation.
    window->Rules().Add(ID_UPDATE_INTERVAL, [](const CommandContext& c) { return c.serverCount > 5; });
    emit TopMenu(*window, 2)->aboutToShow();
    EXPECT_FALSE(Enabled(*window, ID_UPDATE_INTERVAL));
}

TEST_F(MainFrameTest, CommandsReachTheEventLogWhicheverPaneIsActive) {
    auto window = MakeWindow();
    window->ActivateFrame();
    window->GroupView()->setFocus();
    window->AddEvent(0, "one");
    window->AddEvent(1, "two");
    ASSERT_TRUE(WaitFor([&] { return window->EventView()->RowCount() == 2; }));
    emit TopMenu(*window, 2)->aboutToShow();
    ASSERT_TRUE(Enabled(*window, ID_CLEAR_EVENTS));

    window->Commands().Find(ID_CLEAR_EVENTS)->trigger();
    EXPECT_EQ(window->EventView()->RowCount(), 0);
    EXPECT_FALSE(Enabled(*window, ID_CLEAR_EVENTS));

    window->Commands().Find(ID_LOG_ERRORS_ONLY)->trigger();
    EXPECT_TRUE(window->EventView()->ErrorsOnly());
    EXPECT_TRUE(window->Commands().Find(ID_LOG_ERRORS_ONLY)->isChecked());
    window->Commands().Find(ID_LOG_ERRORS_ONLY)->trigger();
    EXPECT_FALSE(window->EventView()->ErrorsOnly());
}

TEST_F(MainFrameTest, ACommandIsCheckedWhenItFiresNotOnlyWhenTheTimerRan) {
    RecentFileList recent;
    recent.Load();
    recent.Add("/p/project.ovopc");
    RecordingTarget application;
    auto window = MakeWindow();
    window->SetApplication(&application);
    window->SetRecentFiles(&recent);
    emit TopMenu(*window, 0)->aboutToShow();  // the recent-file entry exists and is enabled

    // A job has just started: the actions still show the idle state.
    document_.busy = true;
    for (unsigned id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_MRU_FIRST}) {
        QAction* action = window->Commands().Find(id);
        action->setEnabled(true);  // as the timer left it, before each try
        action->trigger();
    }
    EXPECT_TRUE(application.received.empty());
    EXPECT_FALSE(window->Commands().Find(ID_FILE_NEW)->isEnabled());  // and the state caught up

    document_.busy = false;
    window->Commands().Find(ID_FILE_NEW)->setEnabled(true);
    window->Commands().Find(ID_FILE_NEW)->trigger();
    EXPECT_EQ(application.received, std::vector<unsigned>{ID_FILE_NEW});
}

TEST_F(MainFrameTest, ApplicationCommandsAndRecentFilesGoToTheApplication) {
    RecentFileList recent;
    recent.Load();
    recent.Add("/p/older.ovopc");
    recent.Add("/p/newest.ovopc");
    RecordingTarget application;
    auto window = MakeWindow();
    window->SetApplication(&application);
    window->SetRecentFiles(&recent);

    QMenu* file = TopMenu(*window, 0);
    emit file->aboutToShow();
    QStringList texts;
    for (QAction* action : file->actions()) {
        if (action->isSeparator() && action->isVisible())
            texts << QStringLiteral("-");
        else if (action->isVisible())
            texts << action->text();
    }
    const QStringList expected = {
        "新建\tCtrl+N", "打开...\tCtrl+O", "保存\tCtrl+S",       "另存为...",         "分页保存", "-",
        "设置开机自启", "设置起始地址",    "&1 /p/newest.ovopc", "&2 /p/older.ovopc", "-",        "退出"};
    EXPECT_EQ(texts, expected);

    window->Commands().Find(ID_FILE_MRU_FIRST + 1)->trigger();
    window->Commands().Find(ID_FILE_OPEN)->trigger();
    EXPECT_EQ(application.received, (std::vector<unsigned>{ID_FILE_MRU_FIRST + 1, ID_FILE_OPEN}));

    // Reopened after the list shrank: the old entries are gone.
    recent.Remove(0);
    emit file->aboutToShow();
    int recentEntries = 0;
    for (QAction* action : file->actions()) recentEntries += action->text().startsWith(QLatin1Char('&'));
    EXPECT_EQ(recentEntries, 1);
}

TEST_F(MainFrameTest, TitleFollowsTheDocument) {
    auto window = MakeWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("OPC Station - 无标题"));
    document_.SetPathName("/data/plant.ovopc");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("OPC Station - plant.ovopc"));
    document_.SetTitle("plant.ovopc *");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("OPC Station - plant.ovopc *"));
}

TEST_F(MainFrameTest, CloseBoxKeepsTheProgramAndTheWindowReachable) {
    auto window = MakeWindow();
    window->ActivateFrame();
    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    // The offscreen platform has no tray: the window is minimised, not hidden.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(Profile().GetInt("Main Window", "cx", 0));  // nothing saved

    window->Commands().Find(ID_SHOW_WINDOW)->trigger();
    EXPECT_TRUE(window->isMinimized());  // shown in its current state
}

TEST_F(MainFrameTest, ExitWhileBusyDoesNothingAndExitOtherwiseSavesAndCloses) {
    auto window = MakeWindow();
    window->ActivateFrame();
    document_.busy = true;
    window->Commands().Find(ID_APP_EXIT)->setEnabled(true);  // the guard behind the disabled command
    window->Commands().Find(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Profile().GetInt("Main Window", "State", 99), 99);

    document_.busy = false;
    window->UpdateCommandStates();
    // Exit ends the program's event loop; a guard ends it too should Exit fail to.
    QTimer::singleShot(0, window.get(), [&] { window->Commands().Find(ID_APP_EXIT)->trigger(); });
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Profile().GetInt("Main Window", "State", 99), 0);
}

TEST_F(MainFrameTest, ExitCancelledAtTheSaveQuestionKeepsTheProgramRunning) {
    struct CancellingPrompts : DocumentPrompts {
        Answer AskSaveChanges(const std::string&) override { return Answer::Cancel; }
        std::string AskSavePath(const std::string&) override { return {}; }
        void ShowError(const std::string&) override {}
    } prompts;
    document_.SetPrompts(&prompts);
    document_.SetModifiedFlag(true);
    auto window = MakeWindow();
    window->ActivateFrame();
    window->Commands().Find(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(document_.IsModified());
    document_.SetPrompts(nullptr);
}

TEST_F(MainFrameTest, WindowMessagesPostedFromWorkersRunOnTheGuiThread) {
    struct HintView : View {
        void OnUpdate(int hint, void* object) override {
            hints.emplace_back(hint, object);
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        }
        std::vector<std::pair<int, void*>> hints;
        bool onGuiThread = true;
    } view;
    document_.AddView(&view);
    auto window = MakeWindow();
    int item = 0;
    std::thread([&] {
        window->PostItemStateChanged(&item);
        window->PostTcpClientReport("socket 连接成功！");
    }).join();
    ASSERT_TRUE(WaitFor([&] { return view.hints.size() == 2; }));
    EXPECT_EQ(view.hints, (std::vector<std::pair<int, void*>>{{1042, &item}, {1063, nullptr}}));
    EXPECT_TRUE(view.onGuiThread);
    EXPECT_TRUE(document_.IsModified());
    document_.RemoveView(&view);
}

TEST_F(MainFrameTest, NextAndPreviousPaneMoveTheActiveView) {
    auto window = MakeWindow();
    window->ActivateFrame();
    window->activateWindow();
    const auto active = [&] { return window->BuildCommandContext().activePane; };
    window->Commands().Find(ID_NEXT_PANE)->trigger();
    EXPECT_EQ(active(), ActivePane::ItemList);
    window->Commands().Find(ID_NEXT_PANE)->trigger();
    EXPECT_EQ(active(), ActivePane::EventLog);
    window->Commands().Find(ID_NEXT_PANE)->trigger();
    EXPECT_EQ(active(), ActivePane::GroupTree);
    window->Commands().Find(ID_PREV_PANE)->trigger();
    EXPECT_EQ(active(), ActivePane::EventLog);
}

TEST_F(MainFrameTest, ThePanesHaveNamesForScreenReaders) {
    auto window = MakeWindow();
    EXPECT_EQ(window->GroupView()->accessibleName(), QString::fromUtf8("服务器和组"));
    EXPECT_EQ(window->ItemView()->accessibleName(), QString::fromUtf8("变量"));
    EXPECT_EQ(window->EventView()->accessibleName(), QString::fromUtf8("事件日志"));
}
