// The shell services that every layer may call from any thread: the event log, the item
// count and the status text. The core does not know the window that shows them; the main
// window (or a test recorder) installs itself as the receiver. Without a receiver every
// call is a no-op.
#pragma once

#include "platform/strings/printf_check.h"

#include <string>
#include <type_traits>

class ShellReceiver {
public:
    virtual ~ShellReceiver() = default;
    // kind: 0 information, 1 error
    virtual void AddEvent(int kind, const std::string& text) = 0;
    virtual void AddToItemCount(int delta) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
};

// Installs (or, with nullptr, removes) the receiver. Removal waits for calls in progress, so
// the receiver may be destroyed right after.
void InstallShellReceiver(ShellReceiver* receiver);

// Formats string-table message `message` with printf arguments (512-byte buffer, cut to 511
// characters) and reports it. Ids 15000-15999 are information, 16000-16999 errors. The build
// checks the arguments against the message's format:
//     LogEvent(IDS_SERVER_CONNECTED, progId.c_str());
template <class... Args>
void LogEvent(EventMessage<std::type_identity_t<Args>...> message, Args... args);

// The unchecked form behind LogEvent.
void LogEventFormatted(unsigned id, ...);

// The text that LogEvent would report, for a caller that also keeps it (a server's last
// error); LogEventText then reports it.
template <class... Args>
std::string EventText(EventMessage<std::type_identity_t<Args>...> message, Args... args);
std::string EventTextFormatted(unsigned id, ...);
void LogEventText(unsigned id, const std::string& text);

// Event kind of a message id: 0 information, 1 error.
int EventKindOf(unsigned id);

void AddToItemCount(int delta);
void SetStatusText(const std::string& text);

// Shows string `id` in the status bar for the life of the object, then "Ready" again.
class StatusMessage {
public:
    explicit StatusMessage(unsigned id);
    ~StatusMessage();
    StatusMessage(const StatusMessage&) = delete;
    StatusMessage& operator=(const StatusMessage&) = delete;
};

template <class... Args>
void LogEvent(EventMessage<std::type_identity_t<Args>...> message, Args... args) {
    LogEventFormatted(message.id, args...);
}

template <class... Args>
std::string EventText(EventMessage<std::type_identity_t<Args>...> message, Args... args) {
    return EventTextFormatted(message.id, args...);
}
