#include "app/command_line.h"

namespace {
constexpr int kStatusEveryMinute = 60;
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--headless") {
            line.headless = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--trace") {
            line.trace = true;
        } else if (argument == "--status") {
            line.statusSeconds = kStatusEveryMinute;
        } else if (argument.rfind("--status=", 0) == 0) {
            const std::string seconds = argument.substr(9);
            const bool digits =
                !seconds.empty() && seconds.size() <= 5 && seconds.find_first_not_of("0123456789") == std::string::npos;
            line.statusSeconds = digits ? std::stoi(seconds) : 0;
            if (line.statusSeconds <= 0) {
                line.error = "--status= takes a number of seconds from 1 to 99999";
                return line;
            }
        } else if (argument == "--config-dir") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                line.error = "--config-dir needs a folder";
                return line;
            }
            line.configFolder = arguments[++i];
        } else if (argument == "--language") {
            if (i + 1 >= arguments.size() || (arguments[i + 1] != "en" && arguments[i + 1] != "zh")) {
                line.error = "--language takes en or zh";
                return line;
            }
            line.language = arguments[++i];
        } else if (argument.rfind("--", 0) == 0) {
            line.error = "unknown option " + argument;
            return line;
        } else if (line.project.empty()) {
            line.project = argument;
        } else {
            line.error = "more than one project given";
            return line;
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: opcstation [options] [project.ovopc]\n"
           "\n"
           "Without options the desktop program starts and opens the project given, or the one\n"
           "it had open last.\n"
           "\n"
           "Options:\n"
           "  --headless        run without a display, as a service: reopen the project, connect\n"
           "                    its servers, serve peers on TCP port 8890 and write every event\n"
           "                    as one line to standard output; SIGTERM or SIGINT ends it\n"
           "  --trace           with --headless: also write the diagnostic trace lines (one per\n"
           "                    peer request and connection) to standard output\n"
           "  --status[=SECONDS]  with --headless: write the gateway's figures (peers, requests\n"
           "                    and writes per second, refusals, each server's state) as one\n"
           "                    line every minute, or every SECONDS\n"
           "  --config-dir DIR  keep OPC.cfg in DIR instead of beside the program\n"
           "  --language en|zh  show the texts in English or in Chinese (the default); without\n"
           "                    it the profile's [Settings] Language=en chooses English\n"
           "  --help            show this text\n"
           "  --version         show the program's version\n";
}
