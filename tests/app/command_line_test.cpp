// The command line's options and the headless event line.
#include "app/command_line.h"
#include "app/console_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
        {{"plant.ovopc", "--headless", "--config-dir", "/var/lib/x"}, true, false, false, "/var/lib/x", "plant.ovopc", false},
        {{"--help"}, false, true, false, "", "", false},
        {{"--version"}, false, false, true, "", "", false},
        {{"--config-dir"}, false, false, false, "", "", true},
        {{"--bogus"}, false, false, false, "", "", true},
        {{"a.ovopc", "b.ovopc"}, false, false, false, "", "a.ovopc", true},
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
    }
}

TEST(ConsoleLog, OneLineWithDateTimeKindAndText) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2026-12-10 17:20:05.042 UTC
    const long long at = 1796923205042LL;
    EXPECT_EQ(ConsoleLog::Line(0, "连接到服务 'Orvane OPC'.", at), "2026-12-10 17:20:05.042 INFO 连接到服务 'Orvane OPC'.");
    EXPECT_EQ(ConsoleLog::Line(1, "x", at), "2026-12-10 17:20:05.042 ERROR x");
}
