// Telling systemd how the service is doing, when it runs under a unit of Type=notify: the
// state strings of sd_notify ("READY=1", "WATCHDOG=1", "STOPPING=1", "STATUS=...") sent as one
// datagram to $NOTIFY_SOCKET. Without that variable nothing is sent.
#pragma once

#include <chrono>
#include <string_view>

// True when the message was sent.
bool NotifySystemd(std::string_view state);

// Half the watchdog period systemd asks for ($WATCHDOG_USEC, for this process when
// $WATCHDOG_PID names it), or zero when it asks for none.
std::chrono::milliseconds SystemdWatchdogInterval();
