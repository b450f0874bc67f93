#include "ui/eventlog/event_view.h"
#include "ui/eventlog/event_log_model.h"

#include "platform/locale/locale_date_time.h"
#include "platform/settings/profile.h"
#include "platform/shell/shell.h"
#include "tests/platform/temp_folder.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs the event loop until `done` holds; false if it does not within `ms`. The view's own
// 100 ms timer wakes the loop, so no polling is needed.
template <typename Predicate>
bool WaitUntil(Predicate done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(50);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Every test has its own profile folder.
class EventViewTest : public ::testing::Test {
protected:
    void SetUp() override { Profile::UseFolderForTesting(folder.path()); }

    static QString Cell(const CVEventView& view, int row, int column) {
        return view.model()->index(row, column).data().toString();
    }
    static std::vector<std::string> Texts(const CVEventView& view) {
        std::vector<std::string> texts;
        for (int row = 0; row < view.RowCount(); ++row) texts.push_back(Cell(view, row, 2).toStdString());
        return texts;
    }

    TempFolder folder;
};

// Passes the shell's events to the view, as the main window does.
class ViewReceiver : public ShellReceiver {
public:
    explicit ViewReceiver(CVEventView& view) : view_(view) { InstallShellReceiver(this); }
    ~ViewReceiver() override { InstallShellReceiver(nullptr); }
    void AddEvent(int kind, const std::string& text) override { view_.AddEvent(kind, text); }
    void AddToItemCount(int) override {}
    void SetStatusText(const std::string&) override {}

private:
    CVEventView& view_;
};

}  // namespace

TEST_F(EventViewTest, ThreeColumnsWithTitlesIconsAndTheEntrysDateAndTime) {
    CVEventView view;
    const QAbstractItemModel& model = *view.model();
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("日期"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("时间"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("事件"));
    EXPECT_FALSE(view.horizontalHeader()->sectionsClickable());

    view.AddEvent(0, "information");
    view.AddEvent(1, "错误 error");
    view.FlushPending();
    ASSERT_EQ(view.RowCount(), 2);
    auto* events = static_cast<EventLogModel*>(view.model());
    const EventEntry& first = events->Entry(0);
    EXPECT_EQ(Cell(view, 0, 0).toStdString(), LocaleDateTime::Process().Date(first.time));
    EXPECT_EQ(Cell(view, 0, 1).toStdString(), LocaleDateTime::Process().Time(first.time, true));
    EXPECT_EQ(Cell(view, 1, 2), QStringLiteral("错误 error"));

    // Information and error rows carry different, real 16x16 icons in the first column.
    const QIcon info = qvariant_cast<QIcon>(model.index(0, 0).data(Qt::DecorationRole));
    const QIcon error = qvariant_cast<QIcon>(model.index(1, 0).data(Qt::DecorationRole));
    ASSERT_FALSE(info.isNull());
    ASSERT_FALSE(error.isNull());
    EXPECT_NE(info.pixmap(16, 16).toImage(), error.pixmap(16, 16).toImage());
    EXPECT_FALSE(model.index(0, 2).data(Qt::DecorationRole).isValid());
}

TEST_F(EventViewTest, EventsFromSeveralThreadsAllAppearInOrderPerThreadAtTheNextTick) {
    CVEventView view;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&view, t] {
            for (int i = 0; i < kPerThread; ++i) view.AddEvent(i % 2, std::to_string(t) + ":" + std::to_string(i));
        });
    for (auto& thread : threads) thread.join();
    // Reporting never touches the list; only the timer on the GUI thread does.
    EXPECT_EQ(view.RowCount(), 0);
    ASSERT_TRUE(WaitUntil([&] { return view.RowCount() == kThreads * kPerThread; })) << view.RowCount();

    std::map<int, int> next;  // thread -> next expected number
    for (const std::string& text : Texts(view)) {
        const int thread = std::stoi(text.substr(0, text.find(':')));
        const int number = std::stoi(text.substr(text.find(':') + 1));
        EXPECT_EQ(number, next[thread]) << "thread " << thread;
        next[thread] = number + 1;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread);
    // The newest row is scrolled into view.
    EXPECT_TRUE(view.viewport()->rect().intersects(view.visualRect(view.model()->index(view.RowCount() - 1, 0))));
}

TEST_F(EventViewTest, OnlyTheNewest1024RowsAreKept) {
    const struct {
        const char* name;
        int shownBefore;
        int added;
        int expectedFirst;
    } cases[] = {
        {"1024 fit", 0, 1024, 0},
        {"the 1025th drops the oldest", 1024, 1, 1},
        {"a batch beyond the cap keeps its newest", 0, 1500, 476},
        {"a batch pushes out older rows", 1000, 100, 76},
        {"a full batch replaces every row", 10, 1024, 10},
    };
    for (const auto& c : cases) {
        CVEventView view;
        int number = 0;
        for (; number < c.shownBefore; ++number) view.AddEvent(0, std::to_string(number));
        view.FlushPending();
        for (int i = 0; i < c.added; ++i, ++number) view.AddEvent(0, std::to_string(number));
        view.FlushPending();
        ASSERT_EQ(view.RowCount(), std::min(number, EventLogModel::kMaxRows)) << c.name;
        EXPECT_EQ(Cell(view, 0, 2).toInt(), c.expectedFirst) << c.name;
        EXPECT_EQ(Cell(view, view.RowCount() - 1, 2).toInt(), number - 1) << c.name;
    }
}

TEST_F(EventViewTest, ErrorsOnlyDropsInformationWhenReported) {
    CVEventView view;
    ViewReceiver receiver(view);
    EXPECT_FALSE(view.ErrorsOnly());
    LogEvent(IDS_GROUP_ADDED, "G", "S");  // information
    view.ToggleErrorsOnly();
    EXPECT_TRUE(view.ErrorsOnly());
    LogEvent(IDS_GROUP_ADDED, "G2", "S");  // dropped
    LogEvent(IDS_ADD_GROUP_FAILED, "G3", "S", 0x80004005u);
    view.FlushPending();
    EXPECT_EQ(Texts(view),
              (std::vector<std::string>{"增加组 'G' 到 'S'.", "增加组 'G3' 到 'S' (HR = 80004005) 失败."}));
    // Switching back does not bring dropped events back; new ones are kept again.
    view.ToggleErrorsOnly();
    LogEvent(IDS_GROUP_ADDED, "G4", "S");
    view.FlushPending();
    ASSERT_EQ(view.RowCount(), 3);
    EXPECT_EQ(Cell(view, 2, 2), QStringLiteral("增加组 'G4' 到 'S'."));
}

TEST_F(EventViewTest, ClearThenAnEventInTheSameTickShowsOnlyThatEvent) {
    CVEventView view;
    view.AddEvent(0, "old 1");
    view.AddEvent(1, "old 2");
    view.FlushPending();
    view.AddEvent(0, "pending before the clear");
    view.Clear();
    view.AddEvent(1, "after the clear");
    EXPECT_EQ(view.RowCount(), 0);
    view.FlushPending();
    EXPECT_EQ(Texts(view), (std::vector<std::string>{"pending before the clear", "after the clear"}));

    view.Clear();
    view.AddEvent(0, "only this");
    ASSERT_TRUE(WaitUntil([&] { return view.RowCount() == 1; }));
    EXPECT_EQ(Texts(view), (std::vector<std::string>{"only this"}));
}

TEST_F(EventViewTest, CommandsClearToggleAndPassOnTheLinkDialogs) {
    CVEventView view;
    std::vector<unsigned> forwarded;
    QObject::connect(&view, &CVEventView::linkSettingsRequested, [&](unsigned id) { forwarded.push_back(id); });
    view.AddEvent(0, "x");
    view.FlushPending();
    EXPECT_TRUE(view.OnCommand(32805));
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_TRUE(view.OnCommand(32806));
    EXPECT_TRUE(view.ErrorsOnly());
    EXPECT_TRUE(view.OnCommand(32806));
    EXPECT_FALSE(view.ErrorsOnly());
    EXPECT_TRUE(view.OnCommand(32812));
    EXPECT_TRUE(view.OnCommand(32813));
    EXPECT_EQ(forwarded, (std::vector<unsigned>{32812, 32813}));
    for (unsigned other : {32771u, 57600u, 0u}) EXPECT_FALSE(view.OnCommand(other)) << other;
}

TEST_F(EventViewTest, ProfileGivesWidthsAndFlagAndReceivesThemAtDestruction) {
    {
        Profile profile;
        profile.WriteInt("Event View", "0", 90);
        profile.WriteInt("Event View", "1", -5);
        profile.WriteString("Event View", "2", "wide");
        profile.WriteInt("Event View", "Log Errors Only", 1);
    }
    {
        CVEventView view;
        EXPECT_EQ(view.horizontalHeader()->sectionSize(0), 90);
        EXPECT_EQ(view.horizontalHeader()->sectionSize(1), 120);  // negative: default
        EXPECT_EQ(view.horizontalHeader()->sectionSize(2), 120);  // malformed: default
        EXPECT_TRUE(view.ErrorsOnly());
        view.horizontalHeader()->resizeSection(2, 333);
        view.ToggleErrorsOnly();
    }
    Profile profile;
    EXPECT_EQ(profile.GetInt("Event View", "0", 0), 90);
    EXPECT_EQ(profile.GetInt("Event View", "1", 0), 120);
    EXPECT_EQ(profile.GetInt("Event View", "2", 0), 333);
    EXPECT_EQ(profile.GetInt("Event View", "Log Errors Only", -1), 0);
}

TEST_F(EventViewTest, TheEventColumnTakesTheWidthTheDateAndTimeLeave) {
    {
        Profile profile;
        profile.WriteInt("Event View", "0", 90);
        profile.WriteInt("Event View", "1", 80);
        profile.WriteInt("Event View", "2", 100);
    }
    CVEventView view;
    QHeaderView* header = view.horizontalHeader();
    const auto rest = [&] { return view.viewport()->width() - header->sectionSize(0) - header->sectionSize(1); };
    view.resize(700, 200);
    view.show();
    ASSERT_TRUE(WaitUntil([&] { return view.viewport()->width() > 600; }));
    EXPECT_EQ(header->sectionSize(0), 90);
    EXPECT_EQ(header->sectionSize(1), 80);
    EXPECT_EQ(header->sectionSize(2), rest());

    // A narrower pane, and a wider date column: the event column follows both.
    view.resize(450, 200);
    ASSERT_TRUE(WaitUntil([&] { return view.viewport()->width() < 450; }));
    EXPECT_EQ(header->sectionSize(2), rest());
    header->resizeSection(0, 150);
    EXPECT_EQ(header->sectionSize(2), rest());
    EXPECT_GT(header->sectionSize(2), 100);
}

namespace {

// Opens the view's context menu with `open`, and returns the texts of its actions (and
// whether the errors-only item is checked) as seen while it is open.
template <typename Open>
std::vector<std::string> ContextMenuTexts(Open open, bool* errorsOnlyChecked = nullptr) {
    std::vector<std::string> texts;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        shown = true;
        for (QAction* action : menu->actions()) {
            texts.push_back(action->text().toStdString());
            if (errorsOnlyChecked && action->text() == QStringLiteral("只记录错误日志"))
                *errorsOnlyChecked = action->isChecked();
        }
        menu->close();
    });
    open();
    EXPECT_TRUE(shown) << "no popup menu opened";
    return texts;
}

}  // namespace

TEST_F(EventViewTest, ContextMenuByRightClickOrSpaceBar) {
    CVEventView view;
    view.resize(400, 200);
    view.show();
    const auto rightClick = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), view.viewport()->mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(view.viewport(), &event);
    };
    const auto spaceBar = [&] {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QCoreApplication::sendEvent(&view, &event);
    };
    const std::vector<std::string> errorsOnlyItem{"只记录错误日志"};
    const std::vector<std::string> bothItems{"清除消息", "只记录错误日志"};

    // No rows: only the errors-only item.
    EXPECT_EQ(ContextMenuTexts(rightClick), errorsOnlyItem);
    EXPECT_EQ(ContextMenuTexts(spaceBar), errorsOnlyItem);

    view.AddEvent(1, "e");
    view.FlushPending();
    view.selectRow(0);
    view.ToggleErrorsOnly();
    bool checked = false;
    EXPECT_EQ(ContextMenuTexts(rightClick, &checked), bothItems);
    EXPECT_TRUE(checked);
    EXPECT_EQ(ContextMenuTexts(spaceBar), bothItems);

    // The frame's actions replace the view's own, so both menus say the same.
    QAction clear(QStringLiteral("清除消息"));
    QAction errorsOnly(QStringLiteral("只记录错误日志"));
    view.SetContextActions(&clear, &errorsOnly);
    checked = false;
    EXPECT_EQ(ContextMenuTexts(rightClick, &checked), bothItems);
    EXPECT_TRUE(checked);
}
