// The headless program with its server in another process: OPC.cfg names a running opcserverd
// as the host of the demo's server, reached over mutual TLS with the certificates OPC.cfg names
// (made by the README's script). Values flow through the host; a host killed with SIGKILL is
// noticed by the watchdog and the server disconnected; a host that stops on SIGTERM first
// asks its clients to let go.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <signal.h>
#include <unistd.h>

namespace {

// Reads the process's output until `pattern` matches; the first capture, or empty on timeout.
QString WaitForOutput(QProcess& process, QByteArray& seen, const QString& pattern, int milliseconds,
                      QProcess::ProcessChannel channel = QProcess::StandardOutput) {
    const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < milliseconds) {
        const QRegularExpressionMatch match = expression.match(QString::fromUtf8(seen));
        if (match.hasMatch()) return match.captured(match.lastCapturedIndex() > 0 ? 1 : 0);
        process.waitForReadyRead(100);
        process.setReadChannel(channel);
        seen += process.readAll();
    }
    return {};
}

class HeadlessWithServerHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        project = dir.filePath("demo.ovopc");
        ASSERT_TRUE(QFile::copy(QStringLiteral(OPC_SOURCE_DIR "/examples/demo.ovopc"), project));

        const QString script = QStringLiteral(OPC_SOURCE_DIR "/scripts/make-tls-certificates");
        for (const QStringList& arguments : {QStringList{dir.path(), "ca"},
                                             QStringList{dir.path(), "host", "localhost", "127.0.0.1"},
                                             QStringList{dir.path(), "client", "station"}})
            ASSERT_EQ(QProcess::execute(script, arguments), 0) << arguments.join(' ').toStdString();

        host.start(QStringLiteral(OPCSERVERD_PATH),
                   {"--port", "0", "--tls-cert", dir.filePath("localhost.pem"), "--tls-key",
                    dir.filePath("localhost.key"), "--tls-ca", dir.filePath("ca.pem")});
        ASSERT_TRUE(host.waitForStarted(5000));
        hostPort = WaitForOutput(host, hostOutput, "serving on 127\\.0\\.0\\.1 port (\\d+) over mutual TLS", 10000);
        ASSERT_FALSE(hostPort.isEmpty()) << hostOutput.toStdString();

        QFile config(dir.filePath("OPC.cfg"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(("[CONFIG]\nSERVER_HOST=127.0.0.1:" + hostPort +
                      "\nHOST_TLS_CERT=station.pem\nHOST_TLS_KEY=station.key\nHOST_TLS_CA=ca.pem\n")
                         .toUtf8());
        config.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", dir.path());
        env.insert("OPCSTATION_PORT", "0");
        env.insert("OPCSTATION_LOCK", QStringLiteral("opcstation-host-test-%1").arg(::getpid()));
        client.setProcessEnvironment(env);
        client.start(QStringLiteral(OPCSTATION_PATH), {"--headless", "--config-dir", dir.path(), project});
        ASSERT_TRUE(client.waitForStarted(5000));
        const QString connected = WaitForOutput(client, clientOutput, QString::fromUtf8("INFO 连接到服务 'Orvane OPC'\\.$"), 20000);
        ASSERT_FALSE(connected.isEmpty()) << clientOutput.toStdString();
    }

    void TearDown() override {
        if (client.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(client.processId()), SIGTERM);
            client.waitForFinished(10000);
        }
        if (host.state() == QProcess::Running) {
            host.kill();
            host.waitForFinished(5000);
        }
    }

    QTemporaryDir dir;
    QString project;
    QProcess host;
    QByteArray hostOutput;
    QString hostPort;
    QProcess client;
    QByteArray clientOutput;
};

TEST_F(HeadlessWithServerHost, AKilledHostIsNoticedByTheWatchdogAndTheServerDisconnected) {
    // The demo's groups are on the host: one server object there, with its groups.
    EXPECT_EQ(clientOutput.count(QString::fromUtf8("失败").toUtf8()), 0) << clientOutput.toStdString();

    QElapsedTimer sinceKill;
    sinceKill.start();
    ASSERT_EQ(::kill(static_cast<pid_t>(host.processId()), SIGKILL), 0);
    const QString disconnected =
        WaitForOutput(client, clientOutput, QString::fromUtf8("INFO 从服务 'Orvane OPC' 断开连接\\.$"), 30000);
    ASSERT_FALSE(disconnected.isEmpty()) << clientOutput.toStdString();
    // How long the watchdog took is a figure to read, not to hold a test to: a loaded
    // machine stretches it.
    RecordProperty("noticed_after_ms", static_cast<int>(sinceKill.elapsed()));
    EXPECT_EQ(client.state(), QProcess::Running) << "the client lives on";
}

TEST_F(HeadlessWithServerHost, AHostStoppingOnSigtermAsksItsClientsToLetGoFirst) {
    ASSERT_EQ(::kill(static_cast<pid_t>(host.processId()), SIGTERM), 0);
    const QString asked = WaitForOutput(
        client, clientOutput,
        QString::fromUtf8("Server 'Orvane OPC' requested shutdown, reason 'The server host is stopping'\\.$"), 10000);
    EXPECT_FALSE(asked.isEmpty()) << clientOutput.toStdString();
    ASSERT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 0);
    EXPECT_FALSE(WaitForOutput(client, clientOutput, QString::fromUtf8("从服务 'Orvane OPC' 断开连接\\.$"), 10000).isEmpty())
        << clientOutput.toStdString();
}

}  // namespace
