#include "app/vapp.h"
#include "docview/document.h"
#include "persistence/document.h"
#include "platform/config/opc_config.h"
#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "ui/framework/command_table.h"
#include "ui/mainframe/main_wnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <fstream>

namespace {

const std::string kEmptyProject("\0\0\0\0", 4);

class SilentPrompts : public DocumentPrompts {
public:
    Answer AskSaveChanges(const std::string&) override { return Answer::No; }
    std::string AskSavePath(const std::string&) override { return {}; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::vector<std::string> errors;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        Profile::UseFolderForTesting(Path("profile"));
        QDir().mkpath(QString::fromStdString(Path("bin")));
        QDir().mkpath(QString::fromStdString(Path("xdg/autostart")));
        SetProgramFolderForTesting(Path("bin"));
        ::setenv("XDG_CONFIG_DIRS", Path("xdg").c_str(), 1);
    }
    void TearDown() override {
        SetProgramFolderForTesting("");
        ::unsetenv("XDG_CONFIG_DIRS");
    }

    std::string Path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }
    // A lock name of this test alone, so that tests and a running program do not meet.
    static std::string LockName() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string("opc-test-") + info->name() + "-" + std::to_string(QCoreApplication::applicationPid());
    }
    std::unique_ptr<CVApp> MakeApp() {
        auto app = std::make_unique<CVApp>(LockName());
        app->SetDocumentPrompts(&prompts_);
        app->SetMessageBox([this](const std::string& text) { messages_.push_back(text); });
        app->SetDataServerPort(0);
        return app;
    }
    void WriteProject(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    QTemporaryDir dir_;
    SilentPrompts prompts_;
    std::vector<std::string> messages_;
};

}  // namespace

TEST_F(AppTest, StartUpChoosesBetweenTheConfiguredProjectAndTheCommandLine) {
    enum class Config { None, Existing, Deleted };
    enum class Arg { None, Existing, Missing };
    struct Case {
        const char* name;
        Config config;
        Arg arg;
        bool starts;
        int exitCode;
        const char* title;
    };
    const Case cases[] = {
        {"nothing: new project", Config::None, Arg::None, true, 0, "无标题"},
        {"configured project is reopened", Config::Existing, Arg::Existing, true, 0, "saved.ovopc"},
        {"deleted configured project: command line", Config::Deleted, Arg::Existing, true, 0, "arg.ovopc"},
        {"deleted configured project, no argument: new", Config::Deleted, Arg::None, true, 0, "无标题"},
        {"command line file that cannot be opened", Config::None, Arg::Missing, false, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteProject(Path("saved.ovopc"), std::string("\0\0\0\0", 4));
        WriteProject(Path("arg.ovopc"), std::string("\0\0\0\0", 4));
        QFile::remove(QString::fromStdString(GetConfigFilePath()));
        if (c.config == Config::Existing) WriteProjectPath(Path("saved.ovopc"));
        if (c.config == Config::Deleted) WriteProjectPath(Path("deleted.ovopc"));
        QStringList args = {"opcstation"};
        if (c.arg == Arg::Existing) args << QString::fromStdString(Path("arg.ovopc"));
        if (c.arg == Arg::Missing) args << QString::fromStdString(Path("missing.ovopc"));

        auto app = MakeApp();
        EXPECT_EQ(app->InitInstance(args), c.starts);
        EXPECT_EQ(app->ExitCode(), c.exitCode);
        if (c.starts) {
            EXPECT_EQ(app->GetDocument()->Title(), c.title);
            EXPECT_TRUE(app->MainWnd()->isVisible());
            EXPECT_EQ(app->MainWnd()->windowTitle().toStdString(), std::string("OPC Station - ") + c.title);
        }
        // Start-up leaves a stale PATH alone; a project opened from the command line is
        // recorded like every opened project.
        if (c.config == Config::Deleted) {
            EXPECT_EQ(ReadProjectPath(), Path(c.arg == Arg::Existing ? "arg.ovopc" : "deleted.ovopc"));
        }
    }
}

TEST_F(AppTest, AProjectWithBytesAfterItsLastRecordReopensAndLosesThem) {
    const std::string project = Path("padded.ovopc");
    WriteProject(project, kEmptyProject + "left over");
    WriteProjectPath(project);

    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({"opcstation"}));
    EXPECT_EQ(app->GetDocument()->Title(), "padded.ovopc");
    EXPECT_EQ(ReadFile(project), kEmptyProject);
    EXPECT_TRUE(prompts_.errors.empty());
}

TEST_F(AppTest, ReloadedProjectIsWrittenBackAndRemembered) {
    const std::string project = Path("plant/line.ovopc");
    QDir().mkpath(QString::fromStdString(Path("plant")));
    const std::string bytes("\0\0\0\0", 4);  // the empty project
    WriteProject(project, bytes);
    QFile::setPermissions(QString::fromStdString(project), QFile::ReadOwner | QFile::WriteOwner);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    QFile file(QString::fromStdString(project));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(before, QFileDevice::FileModificationTime);
    file.close();
    WriteProjectPath(project);

    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({"opcstation"}));

    EXPECT_GT(QFileInfo(QString::fromStdString(project)).lastModified(), before);
    EXPECT_EQ(ReadFile(project), bytes);
    EXPECT_FALSE(app->GetDocument()->IsModified());
    EXPECT_EQ(Profile().GetString("Paths", "Open File", ""), Path("plant"));
    EXPECT_EQ(app->RecentFiles().Entries().front(), project);
}

TEST_F(AppTest, FileOpenStartsInTheLastFolderAndRecentFilesLeaveItAlone) {
    WriteProject(Path("a.ovopc"), kEmptyProject);
    QDir().mkpath(QString::fromStdString(Path("other")));
    WriteProject(Path("other/b.ovopc"), kEmptyProject);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({"opcstation"}));
    std::vector<std::string> startFolders;
    std::string answer = Path("a.ovopc");
    app->SetOpenDialog([&](const std::string& folder) {
        startFolders.push_back(folder);
        return answer;
    });
    CVMainWnd& window = *app->MainWnd();

    window.RouteCommand(ID_FILE_OPEN);
    answer = Path("other/b.ovopc");
    window.RouteCommand(ID_FILE_OPEN);
    EXPECT_EQ(startFolders, (std::vector<std::string>{"", dir_.path().toStdString()}));
    EXPECT_EQ(app->GetDocument()->Title(), "b.ovopc");
    EXPECT_EQ(app->RecentFiles().Entries(), (std::vector<std::string>{Path("other/b.ovopc"), Path("a.ovopc")}));

    // Recent file 2 is a.ovopc: opened, but the open-file folder stays where File ▸ Open left it.
    window.RouteCommand(ID_FILE_MRU_FIRST + 1);
    EXPECT_EQ(app->GetDocument()->Title(), "a.ovopc");
    EXPECT_EQ(Profile().GetString("Paths", "Open File", ""), Path("other"));

    // A recent file that is gone leaves the list after the open's message.
    QFile::remove(QString::fromStdString(Path("other/b.ovopc")));
    ASSERT_EQ(app->RecentFiles().Entries().at(1), Path("other/b.ovopc"));
    window.RouteCommand(ID_FILE_MRU_FIRST + 1);
    EXPECT_EQ(app->RecentFiles().Entries(), (std::vector<std::string>{Path("a.ovopc")}));
    EXPECT_EQ(prompts_.errors.size(), 1u);
    EXPECT_EQ(app->GetDocument()->Title(), "无标题");
}

TEST_F(AppTest, SecondInstanceEndsWithoutCreatingOrWritingAnything) {
    SingleInstanceLock first(LockName());
    ASSERT_TRUE(first.Acquire());
    WriteProject(Path("p.ovopc"), kEmptyProject);
    WriteProjectPath(Path("p.ovopc"));
    const std::string config = ReadFile(GetConfigFilePath());
    const QDateTime projectTime = QFileInfo(QString::fromStdString(Path("p.ovopc"))).lastModified();

    auto app = MakeApp();
    EXPECT_FALSE(app->InitInstance({"opcstation", QString::fromStdString(Path("p.ovopc"))}));
    EXPECT_EQ(app->ExitCode(), 0);
    EXPECT_EQ(app->MainWnd(), nullptr);
    EXPECT_EQ(app->GetDocument(), nullptr);
    EXPECT_EQ(ReadFile(GetConfigFilePath()), config);
    EXPECT_EQ(QFileInfo(QString::fromStdString(Path("p.ovopc"))).lastModified(), projectTime);
    EXPECT_FALSE(QDir(QString::fromStdString(Path("profile"))).exists());
}

TEST_F(AppTest, ApplicationNamesComeFromTheStringTable) {
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({"opcstation"}));
    EXPECT_EQ(TheApp(), app.get());
    EXPECT_EQ(app->MakerName(), "Orvane");
    EXPECT_EQ(app->AppName(), "Orvane OPC");
    EXPECT_EQ(app->DefaultProgId(), "Orvane OPC");
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Orvane"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Orvane OPC"));
}

TEST_F(AppTest, StartAddressCommandRenumbersAndSavesTheProject) {
    const std::string project = Path("numbered.ovopc");
    WriteProject(project, kEmptyProject);
    WriteProjectPath(project);
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({"opcstation"}));

    // The menu command opens the dialog; OK with a new address stores it and saves.
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        dialog->findChild<QLineEdit*>()->setText("300");
        dialog->accept();
        // The reminder that follows is a message box of the test's.
    });
    app->MainWnd()->Commands().Find(ID_START_ADDRESS)->trigger();
    EXPECT_EQ(title.toStdString(), "设置变量起始地址");
    EXPECT_EQ(ReadStartAddress(), 300u);
    EXPECT_EQ(messages_, std::vector<std::string>{"设置起始地址后请在配置软件中重新导入变量表，然后下载到BOX!"});
}
