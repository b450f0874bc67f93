#include "platform/shell/shell.h"

#include "platform/strings/string_table.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

namespace {

std::shared_mutex g_receiverLock;
ShellReceiver* g_receiver = nullptr;


// A text cut at the buffer's end may end inside a UTF-8 sequence; drop that partial character
// so that the event never holds invalid UTF-8.
void DropCutCharacter(std::string& text) {
    size_t start = text.size();
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (text.size() - (start - 1) < length) text.resize(start - 1);
}

template <typename Fn>
void WithReceiver(Fn&& fn) {
    std::shared_lock lock(g_receiverLock);
    if (g_receiver) fn(*g_receiver);
}

}  // namespace

void InstallShellReceiver(ShellReceiver* receiver) {
    std::unique_lock lock(g_receiverLock);
    g_receiver = receiver;
}

int EventKindOf(unsigned id) { return (id >= 16000 && id <= 16999) ? 1 : 0; }

void LogEventFormatted(unsigned id, ...) {
    const std::string format(LoadString(id));
    char buffer[512];
    va_list args;
    va_start(args, id);
    // The formats come from our own string table; LogEvent checked the arguments against them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(buffer, sizeof buffer, format.c_str(), args);
#pragma GCC diagnostic pop
    va_end(args);
    std::string text(buffer);
    if (text.size() == sizeof buffer - 1) DropCutCharacter(text);
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
