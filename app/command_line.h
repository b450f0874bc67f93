// The program's command line. Without any "--" option it is the desktop program's: the first
// argument, if any, is a project to open. The options:
//   --headless        run without windows (a service): start-up, forwarding, event lines on
//                     standard output, clean end on SIGTERM or SIGINT
//   --config-dir DIR  keep OPC.cfg in DIR instead of beside the executable
//   --language en|zh  the texts in English or Chinese (the default), whatever the profile says
//   --status[=SECONDS] headless: the gateway's figures as a line every minute (or SECONDS)
//   --help, --version
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool version = false;
    bool trace = false;        // headless: the diagnostic trace lines too
    int statusSeconds = 0;     // headless: a status line this often; 0: none
    std::string configFolder;  // empty: beside the executable
    std::string language;      // "en", "zh" or empty (the profile's choice)
    std::string project;       // empty: none given
    std::string error;         // set when the line cannot be used
};

// `arguments` without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();
