#include "mainframe_fixture.h"

#include "platform/autostart/autostart.h"
#include "platform/config/opc_config.h"
#include "platform/strings/command_ids.h"

#include <QAction>
#include <QFile>

#include <fstream>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// The autostart folder of each case is prepared in the test's own XDG_CONFIG_DIRS.
TEST_F(MainFrameTest, AutostartStateAtCreationAndItsMessages) {
    enum class Folder { Present, IsAFile, EntryIsAFolder, EntryForThisProgram, EntryForAnother };
    struct Case {
        const char* name;
        Folder folder;
        bool checked;
        const char* message;  // empty: none
    };
    const Case cases[] = {
        {"no entry", Folder::Present, false, ""},
        {"entry for this program", Folder::EntryForThisProgram, true, ""},
        {"entry of a copy in another folder", Folder::EntryForAnother, false, ""},
        {"folder cannot be opened", Folder::IsAFile, false,
         "获取开机启动信息失败！无法打开注册表，错误码=20，请以管理员身份运行！"},
        {"entry cannot be read", Folder::EntryIsAFolder, false,
         "获取开机启动信息失败！错误码=21，请以管理员身份运行！"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string xdg = Path("case" + std::to_string(n++));
        const std::string folder = xdg + "/autostart";
        ::setenv("XDG_CONFIG_DIRS", xdg.c_str(), 1);
        QDir().mkpath(QString::fromStdString(xdg));
        switch (c.folder) {
        case Folder::Present: QDir().mkpath(QString::fromStdString(folder)); break;
        case Folder::IsAFile: std::ofstream(folder) << "not a folder"; break;
        case Folder::EntryIsAFolder: QDir().mkpath(QString::fromStdString(AutostartEntryPath())); break;
        case Folder::EntryForThisProgram:
        case Folder::EntryForAnother:
            QDir().mkpath(QString::fromStdString(folder));
            std::ofstream(AutostartEntryPath()) << DesktopEntryText(
                c.folder == Folder::EntryForThisProgram ? GetProgramPath() : "/opt/other/opcstation");
            break;
        }
        messages_.clear();
        auto window = MakeWindow();
        EXPECT_EQ(window->AutostartChecked(), c.checked);
        window->UpdateCommandStates();
        EXPECT_EQ(window->Commands().Find(ID_AUTOSTART)->isChecked(), c.checked);
        if (*c.message) {
            ASSERT_EQ(messages_.size(), 1u);
            EXPECT_EQ(messages_[0], c.message);
        } else {
            EXPECT_TRUE(messages_.empty());
        }
    }
}

TEST_F(MainFrameTest, AutostartToggleSwitchesOnAndOffAndKeepsTheMarkWhenItFails) {
    auto window = MakeWindow();
    QAction* toggle = window->Commands().Find(ID_AUTOSTART);
    ASSERT_FALSE(window->AutostartChecked());

    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(DesktopEntryProgram(ReadText(AutostartEntryPath())), GetProgramPath());

    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(AutostartEntryPath())));  // kept, empty Exec
    EXPECT_EQ(DesktopEntryProgram(ReadText(AutostartEntryPath())), "");
    EXPECT_TRUE(messages_.empty());

    // The entry's place is taken by a folder: the write fails.
    QFile::remove(QString::fromStdString(AutostartEntryPath()));
    QDir().mkpath(QString::fromStdString(AutostartEntryPath()));
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("操作失败！无法写入注册表，错误码=", 0), 0u);
    EXPECT_NE(messages_[0].find("，请以管理员身份运行并确认是否被杀毒软件拦截！"), std::string::npos);

    // The folder is gone.
    ::setenv("XDG_CONFIG_DIRS", Path("nowhere").c_str(), 1);
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1], "操作失败！无法打开注册表，错误码=2，请以管理员身份运行！");
}
