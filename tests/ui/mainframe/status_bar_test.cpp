#include "mainframe_fixture.h"

#include "platform/shell/shell.h"
#include "ui/eventlog/event_view.h"
#include "ui/mainframe/status_state.h"

#include <QFontMetrics>
#include <QLabel>

#include <thread>

TEST(StatusState, TakeChangesReportsWhatTheStatusBarMustShow) {
    StatusState state("Ready");
    struct Step {
        const char* name;
        int addCount;
        const char* setText;  // null: no call
        std::optional<int> count;
        std::optional<std::string> text;
    };
    const Step steps[] = {
        {"first tick shows the count", 0, nullptr, 0, std::nullopt},
        {"nothing changed", 0, nullptr, std::nullopt, std::nullopt},
        {"count changed", 3, nullptr, 3, std::nullopt},
        {"back to a count already shown is still a change", -3, nullptr, 0, std::nullopt},
        {"text set", 0, "装载工程", std::nullopt, "装载工程"},
        {"a text other than the idle text is shown again", 0, nullptr, std::nullopt, "装载工程"},
        {"idle text set", 0, "Ready", std::nullopt, "Ready"},
        {"idle and unchanged", 0, nullptr, std::nullopt, std::nullopt},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.addCount) state.AddToItemCount(step.addCount);
        if (step.setText) state.SetStatusText(step.setText);
        const StatusState::Changes changes = state.TakeChanges();
        EXPECT_EQ(changes.itemCount, step.count);
        EXPECT_EQ(changes.text, step.text);
    }
}

TEST(StatusState, CountsFromManyThreadsAddUp) {
    StatusState state("Ready");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                state.AddToItemCount(3);
                state.AddToItemCount(-1);
                if (i % 100 == 0) state.TakeChanges();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(state.ItemCount(), 8000);
}

TEST(StatusState, ItemCountTextFillsTheFormat) {
    EXPECT_EQ(FormatItemCount(0), "变量数: 0");
    EXPECT_EQ(FormatItemCount(-2), "变量数: -2");
}

TEST_F(MainFrameTest, ItemCountFromOtherThreadsReachesPaneOneWhichIsExactlyAsWideAsItsText) {
    auto window = MakeWindow();
    QLabel* pane = window->StatusPane(1);
    const auto shows = [&](const QString& text) { return [&, text] { return pane->text() == text; }; };
    ASSERT_TRUE(WaitFor(shows(QStringLiteral("变量数: 0"))));

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 250; ++i) {
                AddToItemCount(3);  // the shell service, as the groups call it
                AddToItemCount(-1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(WaitFor(shows(QStringLiteral("变量数: 2000"))));
    const int narrow = pane->width();
    EXPECT_EQ(narrow, pane->fontMetrics().horizontalAdvance(pane->text()));

    AddToItemCount(123456789);
    ASSERT_TRUE(WaitFor(shows(QStringLiteral("变量数: 123458789"))));
    EXPECT_EQ(pane->width(), pane->fontMetrics().horizontalAdvance(pane->text()));
    EXPECT_GT(pane->width(), narrow);

    AddToItemCount(-123458789);
    ASSERT_TRUE(WaitFor(shows(QStringLiteral("变量数: 0"))));
    EXPECT_EQ(pane->width(), pane->fontMetrics().horizontalAdvance(pane->text()));
    EXPECT_LT(pane->width(), narrow);
}

TEST_F(MainFrameTest, StatusMessageShowsItsTextThenReadyAgain) {
    auto window = MakeWindow();
    QLabel* pane = window->StatusPane(0);
    EXPECT_EQ(pane->text(), QStringLiteral("Ready"));
    {
        StatusMessage loading(10073);
        ASSERT_TRUE(WaitFor([&] { return pane->text() == QStringLiteral("装载工程"); }));
        std::thread([] { SetStatusText("from a worker"); }).join();
        ASSERT_TRUE(WaitFor([&] { return pane->text() == QStringLiteral("from a worker"); }));
    }
    ASSERT_TRUE(WaitFor([&] { return pane->text() == QStringLiteral("Ready"); }));
}

TEST_F(MainFrameTest, EventsReachTheEventLogThroughTheShellWhileTheWindowExists) {
    {
        auto window = MakeWindow();
        LogEvent(IDS_GROUP_ADDED, "G1", "Orvane OPC");
        std::thread([] { LogEvent(IDS_ADD_GROUP_FAILED, "G2", "Orvane OPC", 0x80004005u); }).join();
        ASSERT_TRUE(WaitFor([&] { return window->EventView()->RowCount() == 2; }));
    }
    LogEvent(IDS_GROUP_ADDED, "after", "the window");  // no receiver any more: dropped, no crash
}
