#include "platform/shell/shell.h"

#include "platform/strings/string_table.h"
#include "platform/strings/utf8.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

namespace {

std::shared_mutex g_receiverLock;
ShellReceiver* g_receiver = nullptr;

// An event holds at most this many bytes of text (the 512-byte buffer of the message).
constexpr std::size_t kMaxEventBytes = 511;

template <typename Fn>
void WithReceiver(Fn&& fn) {
    std::shared_lock lock(g_receiverLock);
    if (g_receiver) fn(*g_receiver);
}

std::string FormatEvent(unsigned id, va_list args) {
    const std::string format(LoadString(id));
    // Three bytes beyond the kept ones tell whether the cut falls inside a UTF-8 character.
    char buffer[kMaxEventBytes + 4];
    // The formats come from our own string table; LogEvent checked the arguments against them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(buffer, sizeof buffer, format.c_str(), args);
#pragma GCC diagnostic pop
    return std::string(Utf8Prefix(buffer, kMaxEventBytes));
}

}  // namespace

void InstallShellReceiver(ShellReceiver* receiver) {
    std::unique_lock lock(g_receiverLock);
    g_receiver = receiver;
}

int EventKindOf(unsigned id) { return (id >= 16000 && id <= 16999) ? 1 : 0; }

void LogEventFormatted(unsigned id, ...) {
    va_list args;
    va_start(args, id);
    const std::string text = FormatEvent(id, args);
    va_end(args);
    LogEventText(id, text);
}

std::string EventTextFormatted(unsigned id, ...) {
    va_list args;
    va_start(args, id);
    std::string text = FormatEvent(id, args);
    va_end(args);
    return text;
}

void LogEventText(unsigned id, const std::string& text) {
    WithReceiver([&](ShellReceiver& r) { r.AddEvent(EventKindOf(id), text); });
}

void AddToItemCount(int delta) {
    WithReceiver([&](ShellReceiver& r) { r.AddToItemCount(delta); });
}

void SetStatusText(const std::string& text) {
    WithReceiver([&](ShellReceiver& r) { r.SetStatusText(text); });
}

StatusMessage::StatusMessage(unsigned id) { SetStatusText(std::string(LoadString(id))); }

StatusMessage::~StatusMessage() { SetStatusText(std::string(LoadString(IDS_READY))); }
