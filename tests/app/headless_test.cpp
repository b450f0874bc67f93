// The headless program, run for real: it serves the demo project's live values on its port,
// writes its events as lines on standard output, lets a second copy end at once, and ends
// with status 0 soon after SIGTERM; it follows OPC.cfg's forwarding settings and writes the
// gateway's figures as a status line.
#include <gtest/gtest.h>

#include <poll.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// One read request for `count` addresses from `first`; the reply as received.
std::vector<std::uint8_t> ReadRange(std::uint16_t port, std::uint16_t first, std::uint16_t count) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<std::uint8_t> reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::uint8_t request[] = {'M', 'I', 13, 0, 1, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(first >> 8),
                                        static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                                        'N', 'E', 0, 0};
        if (::send(fd, request, sizeof request, 0) == static_cast<ssize_t>(sizeof request)) {
            timeval timeout{5, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            std::uint8_t buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) reply.assign(buffer, buffer + n);
        }
    }
    ::close(fd);
    return reply;
}

// Reads addresses 1 to 10 into `reply` until `done` holds, at most 30 seconds: the values arrive
// and change in their own time.
void ReadUntil(std::uint16_t port, std::vector<std::uint8_t>& reply, const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        reply = ReadRange(port, 1, 10);
        if (done() || waited.elapsed() >= 30000) return;
        QThread::msleep(20);  // paces the poll; the deadline above ends it
    }
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        project = dir.filePath("demo.ovopc");
        ASSERT_TRUE(QFile::copy(QStringLiteral(OPC_SOURCE_DIR "/examples/demo.ovopc"), project));
        env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", dir.path());
        env.insert("OPCSTATION_PORT", "0");
        env.insert("OPCSTATION_LOCK", QStringLiteral("opcstation-headless-test-%1").arg(::getpid()));
    }

    void Start(QProcess& process) {
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(OPCSTATION_PATH),
                      {"--headless", "--config-dir", dir.path(), project});
    }

    QTemporaryDir dir;
    QString project;
    QProcessEnvironment env;
};

}  // namespace

TEST_F(Headless, ServesLiveValuesLogsItsEventsAndEndsOnSigterm) {
    QProcess program;
    Start(program);
    ASSERT_TRUE(program.waitForStarted(5000));

    // It says which port it serves once the project is up.
    QByteArray errors;
    std::uint16_t port = 0;
    QElapsedTimer waited;
    waited.start();
    while (port == 0 && waited.elapsed() < 30000 && program.state() == QProcess::Running) {
        program.waitForReadyRead(500);
        errors += program.readAllStandardError();
        const QRegularExpressionMatch match = QRegularExpression("serving port (\\d+)").match(QString::fromUtf8(errors));
        if (match.hasMatch()) port = static_cast<std::uint16_t>(match.captured(1).toUInt());
    }
    ASSERT_NE(port, 0) << errors.toStdString();

    // The port serves before the servers' first values have come: wait for them.
    const auto records = [](const std::vector<std::uint8_t>& reply) {
        return reply.size() >= 11 ? reply[5] | reply[6] << 8 : -1;
    };
    std::vector<std::uint8_t> first;
    ReadUntil(port, first, [&] { return records(first) == 10; });
    ASSERT_GE(first.size(), 11u);
    EXPECT_EQ(first[0], 'M');
    EXPECT_EQ(first[1], 'I');
    EXPECT_EQ(records(first), 10) << "one record per address";
    std::vector<std::uint8_t> later;
    ReadUntil(port, later, [&] { return later != first; });
    EXPECT_NE(later, first) << "the ramps move";

    // A second copy ends at once with status 0, and says why.
    QProcess second;
    Start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("another copy")) << "a service's journal tells why it ended";

    // Ends on SIGTERM well before systemd's 15 seconds would kill it.
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    // Events as lines: date, time, kind, the message's own text.
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression(
        QString::fromUtf8("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} INFO 连接到服务 'Orvane OPC'\\.$"),
        QRegularExpression::MultilineOption)))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8("从服务 'Orvane OPC' 断开连接."))) << out.toStdString();
    // Only events: the trace lines of each peer's connection and request stay off the journal.
    EXPECT_FALSE(out.contains("[>>>]")) << out.toStdString();
    EXPECT_FALSE(out.contains("server ok")) << out.toStdString();
    // The project it opened is the one OPC.cfg names now.
    QFile config(dir.filePath("OPC.cfg"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_TRUE(config.readAll().contains(("PATH=" + project).toUtf8()));
}

TEST_F(Headless, TheStartUpTellsSystemdItGoesOnAndSigtermThenStopsWithStatusZero) {
    // A server host that takes the connection and never answers holds the start-up there.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    socklen_t size = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    QFile config(dir.filePath("OPC.cfg"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[CONFIG]\nHOST_PLAIN_TCP=1\nSERVER_HOST=127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)) +
                 "\n");
    config.close();

    // systemd's notification socket, abstract, as the service manager would give it.
    const std::string notifyName = "opcstation-headless-notify-" + std::to_string(::getpid());
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un notifyAddress{};
    notifyAddress.sun_family = AF_UNIX;
    std::memcpy(notifyAddress.sun_path + 1, notifyName.data(), notifyName.size());
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&notifyAddress),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + notifyName.size())),
              0);
    env.insert("NOTIFY_SOCKET", QString::fromStdString("@" + notifyName));

    QProcess program;
    Start(program);
    ASSERT_TRUE(program.waitForStarted(5000));
    pollfd waiting{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 20000), 1) << "the program connects to the host";
    const int connection = ::accept(listener, nullptr, nullptr);
    // While the host keeps the start-up waiting, the program asks systemd for more time.
    pollfd told{notify, POLLIN, 0};
    ASSERT_EQ(::poll(&told, 1, 20000), 1) << "systemd hears from the start-up";
    char state[256];
    const ssize_t stateSize = ::recv(notify, state, sizeof state, 0);
    const std::string first(state, stateSize > 0 ? static_cast<std::size_t>(stateSize) : 0);
    EXPECT_EQ(first.rfind("EXTEND_TIMEOUT_USEC=", 0), 0u) << first;
    EXPECT_EQ(first.find("READY=1"), std::string::npos) << first;
    ::close(notify);
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);

    ASSERT_TRUE(program.waitForFinished(30000)) << "the stop was not lost";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(program.readAllStandardError().contains("serving port"));
    ::close(connection);
    ::close(listener);
}

TEST_F(Headless, AProjectThatCannotBeOpenedEndsWithStatusOne) {
    project = dir.filePath("missing.ovopc");
    QProcess program;
    Start(program);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("missing.ovopc"));
}

TEST_F(Headless, TheProfileCanChooseEnglishAndTheCommandLineOverridesIt) {
    ASSERT_TRUE(QDir().mkpath(dir.filePath(".config/Orvane")));
    QFile profile(dir.filePath(".config/Orvane/Orvane OPC.ini"));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write("[Settings]\nLanguage=en\n");
    profile.close();
    env.remove("XDG_CONFIG_HOME");

    // Runs the program until it serves its port, stops it, and gives what it logged.
    const auto run = [this](const QStringList& extra) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(OPCSTATION_PATH), QStringList{"--headless", "--config-dir", dir.path()} + extra);
        QByteArray errors;
        QElapsedTimer waited;
        waited.start();
        while (!errors.contains("serving port") && waited.elapsed() < 30000 && program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(500);
            errors += program.readAllStandardError();
        }
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        program.waitForFinished(10000);
        return QString::fromUtf8(program.readAllStandardOutput());
    };
    const QString english = run({project});
    EXPECT_TRUE(english.contains("INFO Connected to server 'Orvane OPC'.")) << english.toStdString();
    const QString chinese = run({"--language", "zh"});  // OPC.cfg now names the project
    EXPECT_TRUE(chinese.contains(QString::fromUtf8("INFO 连接到服务 'Orvane OPC'."))) << chinese.toStdString();
}

namespace {

// A blocking TCP connection to the program from `from`, closed with the object.
class HeadlessPeer {
public:
    HeadlessPeer(std::uint16_t port, const char* from) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval timeout{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~HeadlessPeer() { ::close(fd_); }
    HeadlessPeer(const HeadlessPeer&) = delete;
    HeadlessPeer& operator=(const HeadlessPeer&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::vector<std::uint8_t>& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True when the program closes the connection (end of stream or reset) within 10 s.
    bool ClosedByServer() {
        std::uint8_t byte;
        return ::recv(fd_, &byte, 1, 0) <= 0 && errno != EAGAIN && errno != EWOULDBLOCK;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

}  // namespace

TEST_F(Headless, FollowsTheForwardingSettingsLogsRefusalsAndWritesItsStatusLine) {
    QFile config(dir.filePath("OPC.cfg"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[FORWARDING]\nALLOW=127.0.0.1\nWRITES=off\nMAX_PEERS=many\n");
    config.close();
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(OPCSTATION_PATH), {"--headless", "--status=1", "--config-dir", dir.path(), project});
    ASSERT_TRUE(program.waitForStarted(5000));

    QByteArray errors;
    QString out;
    const auto readUntil = [&](const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 30000 && program.state() == QProcess::Running) {
            program.waitForReadyRead(200);
            errors += program.readAllStandardError();
            out += QString::fromUtf8(program.readAllStandardOutput());
        }
        return done();
    };
    std::uint16_t port = 0;
    ASSERT_TRUE(readUntil([&] {
        const QRegularExpressionMatch match =
            QRegularExpression("serving port (\\d+)").match(QString::fromUtf8(errors));
        if (match.hasMatch()) port = static_cast<std::uint16_t>(match.captured(1).toUInt());
        return port != 0;
    })) << errors.toStdString();

    HeadlessPeer other(port, "127.0.0.2");
    ASSERT_TRUE(other.Connected());
    EXPECT_TRUE(other.ClosedByServer());
    HeadlessPeer listed(port, "127.0.0.1");
    ASSERT_TRUE(listed.Connected());
    const std::vector<std::uint8_t> write = {'M', 'I', 13, 0, 2, 1, 0, 3, 7, 'N', 'E', 0, 0};
    ASSERT_TRUE(listed.Send(write));

    const QString badValue = QString::fromUtf8("ERROR OPC.cfg [FORWARDING] MAX_PEERS 的值 'many' 无效, 使用默认值.");
    const QString refusedPeer = QString::fromUtf8("ERROR 拒绝对端 127.0.0.2 的连接: 不在允许名单中.");
    const QString refusedWrite = QString::fromUtf8("ERROR 拒绝对端 127.0.0.1 的写入: 地址 1, 变量 '");
    const QRegularExpression status(
        "INFO status: peers=1 \\[127\\.0\\.0\\.1 since [-0-9: ]+\\] requests/s=[0-9.]+ writes/s=[0-9.]+ "
        "refused_peers=1 refused_writes=1; server 'Orvane OPC' connected_since=\\d{4}-");
    EXPECT_TRUE(readUntil([&] {
        return out.contains(badValue) && out.contains(refusedPeer) && out.contains(refusedWrite) &&
               out.contains(status);
    })) << out.toStdString();

    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}
