// Starting with the desktop session: an XDG autostart entry "OrvaneOpcClient.desktop" in the
// machine-wide autostart folder (the first folder of XDG_CONFIG_DIRS, default /etc/xdg, plus
// "/autostart"). Autostart is on exactly when the entry's Exec is the running executable's
// full path. Switching off keeps the entry with an empty Exec, hidden.
#pragma once

#include <string>

enum class AutostartError {
    None,
    CannotOpen,   // the autostart folder cannot be opened
    CannotRead,   // the entry exists but cannot be read
    CannotWrite,  // the entry cannot be written
};

struct AutostartState {
    bool on = false;
    AutostartError error = AutostartError::None;
    int code = 0;  // errno of the failure
};

struct AutostartResult {
    bool ok = false;
    AutostartError error = AutostartError::None;
    int code = 0;
};

std::string AutostartFolder();
std::string AutostartEntryPath();

// Reads the entry; a missing entry is off without error.
AutostartState AutostartRead(const std::string& exePath);

// Switches on (Exec = exePath) or off (empty Exec).
AutostartResult AutostartWrite(bool on, const std::string& exePath);

// The Exec value of a desktop entry `text` as the one program path it names (quotes and
// escapes removed), or empty when there is none. Exposed for tests.
std::string DesktopEntryProgram(const std::string& text);

// The desktop entry text that starts `exePath` (empty: switched off).
std::string DesktopEntryText(const std::string& exePath);
