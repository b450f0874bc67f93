#include "platform/settings/profile.h"
#include "ui/framework/file_filter.h"
#include "ui/framework/recent_file_list.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(FileFilter, WindowsFiltersBecomeQtFilters) {
    struct Case {
        const char* windows;
        const char* qt;
    };
    const Case cases[] = {
        {"Project Files (*.ovopc)|*.ovopc|All files (*.*)|*.*|", "Project Files (*.ovopc);;All files (*)"},
        {"CSV (*.csv)|*.csv|", "CSV (*.csv)"},
        {"Text|*.txt;*.log|", "Text (*.txt *.log)"},
        {"No closing bar|*.x", "No closing bar (*.x)"},
        {"|*.a|", "*.a"},
        {"Empty patterns||Next|*.n|", "Next (*.n)"},
        {"", ""},
        {"dangling description", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(ToQtFileFilter(c.windows).toStdString(), c.qt);
    }
}

class RecentFiles : public ::testing::Test {
protected:
    void SetUp() override { Profile::UseFolderForTesting(dir_.path().toStdString()); }
    QTemporaryDir dir_;
};

TEST_F(RecentFiles, NewestFirstWithoutDuplicatesAtMostFourAndKeptInTheProfile) {
    RecentFileList list;
    list.Load();
    EXPECT_TRUE(list.Entries().empty());
    for (const char* path : {"/p/a.ovopc", "/p/b.ovopc", "/p/c.ovopc", "/p/a.ovopc", "/p/d.ovopc", "/p/e.ovopc"})
        list.Add(path);
    const std::vector<std::string> expected = {"/p/e.ovopc", "/p/d.ovopc", "/p/a.ovopc", "/p/c.ovopc"};
    EXPECT_EQ(list.Entries(), expected);

    RecentFileList reloaded;
    reloaded.Load();
    EXPECT_EQ(reloaded.Entries(), expected);
    EXPECT_EQ(Profile().GetString("Recent File List", "File1", ""), "/p/e.ovopc");

    reloaded.Remove(1);
    reloaded.Remove(7);  // out of range: ignored
    RecentFileList again;
    again.Load();
    EXPECT_EQ(again.Entries(), (std::vector<std::string>{"/p/e.ovopc", "/p/a.ovopc", "/p/c.ovopc"}));
}

TEST(RecentFileMenuText, NumberedEscapedAndShortenedKeepingTheFileName) {
    EXPECT_EQ(RecentFileList::MenuText(0, "/p/a.ovopc"), "&1 /p/a.ovopc");
    EXPECT_EQ(RecentFileList::MenuText(3, "/p/R&D.ovopc"), "&4 /p/R&&D.ovopc");
    const std::string longPath = "/home/operator/projects/区域/very/deep/folder/tree/plant.ovopc";
    const std::string text = RecentFileList::MenuText(1, longPath);
    EXPECT_EQ(text.rfind("&2 /home/", 0), 0u);
    EXPECT_NE(text.find(".../plant.ovopc"), std::string::npos);
    EXPECT_LT(text.size(), longPath.size());
}
