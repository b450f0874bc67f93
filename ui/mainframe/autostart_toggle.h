// The "设置开机自启" command: reading the autostart state when the window is created and
// switching it. Failures are told in plain message boxes and leave the state unchanged.
#pragma once

#include "platform/autostart/autostart.h"

#include <functional>
#include <string>

// Shows `text` in a plain message box titled with the application's name.
using MessageBoxFunction = std::function<void(const std::string& text)>;

// The message for a failed read or write; empty when there is nothing to tell.
std::string AutostartReadMessage(const AutostartState& state);
std::string AutostartWriteMessage(const AutostartResult& result);

// The check mark at creation: on when the entry starts `exePath`.
bool ReadAutostartCheck(const std::string& exePath, const MessageBoxFunction& messageBox);

// Switches autostart off when `checked`, else on; returns the new check mark (the old one
// when the switch failed).
bool ToggleAutostart(bool checked, const std::string& exePath, const MessageBoxFunction& messageBox);
