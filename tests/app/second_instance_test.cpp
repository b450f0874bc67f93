// Runs the real program twice: the second copy must end at once with status 0 and leave the
// configuration, the project and the profile untouched.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct Snapshot {
    QByteArray bytes;
    QDateTime modified;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const QString& path) { return {ReadAll(path), QFileInfo(path).lastModified()}; }

// Waits until `done` holds, checking whenever `folder` changes; false after the deadline or
// when `process` ends first.
template <typename Predicate>
bool WaitForFolder(const QString& folder, QProcess& process, Predicate done) {
    QFileSystemWatcher watcher({folder});
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    if (done()) return true;
    deadline.start(30000);
    loop.exec();
    return done();
}

}  // namespace

TEST(SecondInstance, EndsAtOnceWithStatusZeroAndTouchesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bin = dir.filePath("bin");
    const QString profileFolder = dir.filePath("home/.config/Orvane");
    for (const QString& folder : {bin, profileFolder, dir.filePath("tmp"), dir.filePath("xdg/autostart")})
        ASSERT_TRUE(QDir().mkpath(folder));
    // The program keeps OPC.cfg beside itself: run a copy of it from a folder of the test's own.
    const QString program = bin + "/opcstation";
    ASSERT_TRUE(QFile::copy(QStringLiteral(OPCSTATION_PATH), program));
    const QString project = dir.filePath("plant.ovopc");
    {
        QFile file(project);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4, '\0'));
        file.flush();  // before the time is set: a later write would set it again
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        QFile config(bin + "/OPC.cfg");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[CONFIG]\nPATH=" + project.toUtf8() + "\n");
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.filePath("home"));
    env.insert("TMPDIR", dir.filePath("tmp"));
    env.insert("XDG_CONFIG_DIRS", dir.filePath("xdg"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("XDG_CONFIG_HOME");

    const QDateTime written = QFileInfo(project).lastModified();
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first copy holds the lock once it has reopened the project and written it back,
    // the last step of its start-up.
    ASSERT_TRUE(WaitForFolder(dir.path(), first, [&] { return QFileInfo(project).lastModified() > written; }))
        << "the first copy did not start: " << first.readAllStandardError().toStdString();
    const QString profile = profileFolder + "/Orvane OPC.ini";
    const Snapshot config = Take(bin + "/OPC.cfg");
    const Snapshot projectBefore = Take(project);
    const Snapshot profileBefore = Take(profile);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {project});
    ASSERT_TRUE(second.waitForFinished(30000)) << "the second copy keeps running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(Take(bin + "/OPC.cfg"), config);
    EXPECT_EQ(Take(project), projectBefore);
    EXPECT_EQ(Take(profile), profileBefore);

    first.kill();
    first.waitForFinished();
}
