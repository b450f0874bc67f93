// opcstation: the OPC Station program, on the desktop or, with --headless, as a service.
#include "app/command_line.h"
#include "app/headless_app.h"
#include "app/vapp.h"
#include "platform/config/opc_config.h"
#include "platform/instance/single_instance.h"
#include "platform/settings/profile.h"
#include "platform/strings/language.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Arguments(const QStringList& list) {
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < list.size(); ++i) arguments.push_back(list.at(i).toStdString());
    return arguments;
}

// The command line's language, else the profile's, else Chinese; never the machine's locale.
void ChooseLanguage(const CommandLine& line) {
    std::string name = line.language;
    if (name.empty()) name = Profile().GetString("Settings", "Language", "");
    SetLanguage(LanguageFromName(name).value_or(Language::kChinese));
}

int UsageError(const CommandLine& line) {
    std::fprintf(stderr, "opcstation: %s\n%s", line.error.c_str(), UsageText().c_str());
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("opcstation %s\n", OPC_VERSION);
        return 0;
    }
    if (line.headless) {
        if (!line.error.empty()) return UsageError(line);
        if (!line.configFolder.empty()) SetConfigFolder(line.configFolder);
        QCoreApplication application(argc, argv);
        ChooseLanguage(line);
        HeadlessOptions options;
        options.lockName = SingleInstanceLock::kDefaultName;
        // For tests and side-by-side runs: another port and another instance lock.
        if (const char* port = std::getenv("OPCSTATION_PORT")) options.port = static_cast<std::uint16_t>(std::atoi(port));
        if (const char* lock = std::getenv("OPCSTATION_LOCK")) options.lockName = lock;
        return RunHeadless(line, options);
    }

    QApplication application(argc, argv);
    // Read again once Qt has taken its own options (-platform, -style ...).
    line = ParseCommandLine(Arguments(QApplication::arguments()));
    if (!line.error.empty()) return UsageError(line);
    if (!line.configFolder.empty()) SetConfigFolder(line.configFolder);
    ChooseLanguage(line);
    CVApp app;
    QStringList arguments{QApplication::arguments().constFirst()};
    if (!line.project.empty()) arguments << QString::fromStdString(line.project);
    if (!app.InitInstance(arguments)) return app.ExitCode();
    return QApplication::exec();
}
