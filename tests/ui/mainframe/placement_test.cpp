#include "mainframe_fixture.h"

#include "ui/mainframe/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

namespace {

QSize ScreenSize() { return QGuiApplication::primaryScreen()->size(); }

}  // namespace

TEST_F(MainFrameTest, FirstStartWithEmptyProfileUsesHalfTheScreen) {
    auto window = MakeWindow();
    EXPECT_FALSE(window->isVisible());  // created hidden
    window->ActivateFrame();

    const QSize screen = ScreenSize();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(10, 10));
    EXPECT_EQ(window->size(), QSize(screen.width() / 2, screen.height() / 2));
    EXPECT_EQ(window->InnerSplitter()->sizes().value(0), screen.width() / 2 / 3);
    EXPECT_EQ(window->OuterSplitter()->sizes().value(0), screen.height() / 2 / 2);
    EXPECT_TRUE(window->ToolBar()->isVisible());
    EXPECT_TRUE(window->statusBar()->isVisible());
}

TEST_F(MainFrameTest, PlacementSavedAtExitIsRestoredAtTheNextStart) {
    {
        auto window = MakeWindow();
        window->ActivateFrame();
        window->move(30, 40);
        window->resize(500, 400);
        window->InnerSplitter()->setSizes({120, 300});
        window->OuterSplitter()->setSizes({180, 150});
        window->ToolBar()->hide();
        window->SavePlacement();
    }
    const Profile profile;
    EXPECT_EQ(profile.GetInt("Main Window", "Groups", 0), 120);
    EXPECT_EQ(profile.GetInt("Main Window", "Events", 0), 180);
    EXPECT_EQ(profile.GetInt("Main Window", "Toolbar", 1), 0);

    auto window = MakeWindow();
    window->ActivateFrame();
    EXPECT_EQ(window->pos(), QPoint(30, 40));
    EXPECT_EQ(window->size(), QSize(500, 400));
    EXPECT_EQ(window->InnerSplitter()->sizes().value(0), 120);
    EXPECT_EQ(window->OuterSplitter()->sizes().value(0), 180);
    EXPECT_FALSE(window->ToolBar()->isVisible());
    EXPECT_TRUE(window->statusBar()->isVisible());
}

TEST_F(MainFrameTest, MaximizedWindowKeepsTheNormalPlacementInTheProfile) {
    {
        Profile profile;
        for (auto [key, value] : {std::pair{"x", 50}, {"y", 60}, {"cx", 420}, {"cy", 330}, {"State", 1}})
            profile.WriteInt("Main Window", key, value);
    }
    auto window = MakeWindow();
    window->ActivateFrame();
    ASSERT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry().size(), QSize(420, 330));

    window->SavePlacement();
    const Profile profile;
    EXPECT_EQ(profile.GetInt("Main Window", "State", 0), 1);
    EXPECT_EQ(profile.GetInt("Main Window", "x", 0), 50);
    EXPECT_EQ(profile.GetInt("Main Window", "y", 0), 60);
    EXPECT_EQ(profile.GetInt("Main Window", "cx", 0), 420);
    EXPECT_EQ(profile.GetInt("Main Window", "cy", 0), 330);
}

TEST_F(MainFrameTest, StoredPlacementValuesAreCheckedAgainstTheScreen) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> stored;
        WindowPlacement expected;
    };
    const QSize screen(1280, 800);
    const QRect desktop(0, 0, 1280, 800);
    const Case cases[] = {
        {"empty profile", {}, {10, 10, 640, 400, 0, 213, 200, true, true}},
        {"malformed numbers take the defaults",
         {{"x", "abc"}, {"cx", "12px"}, {"State", "max"}, {"Toolbar", ""}},
         {10, 10, 640, 400, 0, 213, 200, true, true}},
        {"tree width defaults to a third of the stored width",
         {{"cx", "900"}, {"cy", "600"}},
         {10, 10, 900, 600, 0, 300, 300, true, true}},
        {"window off the desktop comes back",
         {{"x", "5000"}, {"y", "-3000"}},
         {10, 10, 640, 400, 0, 213, 200, true, true}},
        {"tiny or negative sizes become the minimum",
         {{"cx", "-5"}, {"cy", "0"}, {"Groups", "-1"}, {"Events", "3"}},
         {10, 10, 10, 10, 0, 10, 10, true, true}},
        {"unknown state is normal; bars off",
         {{"State", "7"}, {"Toolbar", "0"}, {"Status Bar", "0"}},
         {10, 10, 640, 400, 0, 213, 200, false, false}},
        {"minimized", {{"State", "-1"}}, {10, 10, 640, 400, -1, 213, 200, true, true}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Profile::UseFolderForTesting(Path("case" + std::to_string(n++)));
        {
            Profile profile;
            for (const auto& [key, value] : c.stored) profile.WriteString("Main Window", key, value);
        }
        const WindowPlacement p = ReadWindowPlacement(Profile(), screen, desktop);
        const WindowPlacement& e = c.expected;
        EXPECT_EQ(std::tie(p.x, p.y, p.cx, p.cy, p.state, p.groups, p.events, p.toolbar, p.statusBar),
                  std::tie(e.x, e.y, e.cx, e.cy, e.state, e.groups, e.events, e.toolbar, e.statusBar));
    }
}

TEST_F(MainFrameTest, WithoutAScreenThePlacementFallsBackToACommonSize) {
    // The display may go away while the program runs hidden in the tray.
    const WindowPlacement p = ReadWindowPlacement(Profile(), nullptr);
    EXPECT_EQ(std::tie(p.x, p.y, p.cx, p.cy), std::make_tuple(10, 10, 512, 384));
}
