// The command line's options, the headless event line and the messages to systemd.
#include "app/command_line.h"
#include "app/console_log.h"
#include "app/systemd_notify.h"
#include "platform/files/unique_fd.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

TEST(CommandLine, ReadsTheOptionsAndOneProject) {
    using Args = std::vector<std::string>;
    struct Case {
        Args arguments;
        bool headless, help, version;
        std::string configFolder, project;
        bool error;
    };
    const Case cases[] = {
        {{}, false, false, false, "", "", false},
        {{"plant.ovopc"}, false, false, false, "", "plant.ovopc", false},
        {{"--headless", "plant.ovopc"}, true, false, false, "", "plant.ovopc", false},
        {{"plant.ovopc", "--headless", "--config-dir", "/var/lib/x"},
         true,
         false,
         false,
         "/var/lib/x",
         "plant.ovopc",
         false},
        {{"--help"}, false, true, false, "", "", false},
        {{"--version"}, false, false, true, "", "", false},
        {{"--config-dir"}, false, false, false, "", "", true},
        {{"--bogus"}, false, false, false, "", "", true},
        {{"--language", "fr"}, false, false, false, "", "", true},
        {{"--language"}, false, false, false, "", "", true},
        {{"a.ovopc", "b.ovopc"}, false, false, false, "", "a.ovopc", true},
        {{"--headless", "--trace"}, true, false, false, "", "", false},
        {{"--headless", "--status=0"}, true, false, false, "", "", true},
        {{"--headless", "--status=x"}, true, false, false, "", "", true},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.arguments) joined += a + " ";
        SCOPED_TRACE(joined);
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.headless, c.headless);
        EXPECT_EQ(line.help, c.help);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.configFolder, c.configFolder);
        EXPECT_EQ(line.project, c.project);
        EXPECT_EQ(!line.error.empty(), c.error);
        EXPECT_EQ(line.trace, c.arguments.size() == 2 && c.arguments[1] == "--trace");
    }
    // The status line: every minute, or as often as asked.
    EXPECT_EQ(ParseCommandLine({"--headless"}).statusSeconds, 0);
    EXPECT_EQ(ParseCommandLine({"--headless", "--status"}).statusSeconds, 60);
    EXPECT_EQ(ParseCommandLine({"--headless", "--status=5"}).statusSeconds, 5);
}

TEST(ConsoleLog, OneLineWithDateTimeKindAndText) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2026-12-10 17:20:05.042 UTC
    const long long at = 1796923205042LL;
    EXPECT_EQ(ConsoleLog::Line(0, "连接到服务 'Orvane OPC'.", at), "2026-12-10 17:20:05.042 INFO 连接到服务 'Orvane OPC'.");
    EXPECT_EQ(ConsoleLog::Line(1, "x", at), "2026-12-10 17:20:05.042 ERROR x");
}

TEST(ConsoleLog, LinesForTheJournalCarryTheirPriority) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    ASSERT_TRUE(out);
    {
        ConsoleLog journal(out, true);
        journal.AddEvent(1, "failed");
        journal.AddEvent(0, "connected");
        ConsoleLog terminal(out, false);
        terminal.AddEvent(1, "plain");
    }
    std::fclose(out);
    const std::string lines(text, size);
    std::free(text);
    EXPECT_EQ(lines.rfind("<3>", 0), 0u) << lines;
    EXPECT_NE(lines.find("\n<6>"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" ERROR plain"), std::string::npos);
    EXPECT_EQ(lines.find("<3>", 1), std::string::npos) << "no prefix without the journal";
}

TEST(SystemdNotify, SendsTheStateToTheSocketSystemdNamesAndNothingWithoutOne) {
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(NotifySystemd("READY=1"));

    const std::string name = "opcstation-notify-test-" + std::to_string(::getpid());
    const UniqueFd receiver(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: a leading zero
    ASSERT_EQ(::bind(receiver.get(), reinterpret_cast<sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    ::setenv("NOTIFY_SOCKET", ("@" + name).c_str(), 1);
    ASSERT_TRUE(NotifySystemd("READY=1\nSTATUS=serving port 8890"));
    char buffer[128];
    const ssize_t n = ::recv(receiver.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "READY=1\nSTATUS=serving port 8890");
    ::unsetenv("NOTIFY_SOCKET");
}

TEST(SystemdNotify, PingsAtHalfTheWatchdogPeriodOfThisProcess) {
    ::setenv("WATCHDOG_USEC", "30000000", 1);
    ::unsetenv("WATCHDOG_PID");
    EXPECT_EQ(SystemdWatchdogInterval().count(), 15000);
    ::setenv("WATCHDOG_PID", std::to_string(::getpid() + 1).c_str(), 1);  // meant for another process
    EXPECT_EQ(SystemdWatchdogInterval().count(), 0);
    ::unsetenv("WATCHDOG_USEC");
    ::unsetenv("WATCHDOG_PID");
    EXPECT_EQ(SystemdWatchdogInterval().count(), 0);
}
