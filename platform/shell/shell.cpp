#include "platform/shell/shell.h"

#include "platform/strings/string_table.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

namespace {

std::shared_mutex g_receiverLock;
ShellReceiver* g_receiver = nullptr;

constexpr unsigned kReadyId = 57345;

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

void LogEvent(unsigned id, ...) {
    const std::string format(LoadString(id));
    char buffer[512];
    va_list args;
    va_start(args, id);
    // The formats come from our own string table; their arguments match by construction.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(buffer, sizeof buffer, format.c_str(), args);
#pragma GCC diagnostic pop
    va_end(args);
    const std::string text(buffer);
    WithReceiver([&](ShellReceiver& r) { r.AddEvent(EventKindOf(id), text); });
}

void AddToItemCount(int delta) {
    WithReceiver([&](ShellReceiver& r) { r.AddToItemCount(delta); });
}

void SetStatusText(const std::string& text) {
    WithReceiver([&](ShellReceiver& r) { r.SetStatusText(text); });
}

StatusMessage::StatusMessage(unsigned id) { SetStatusText(std::string(LoadString(id))); }

StatusMessage::~StatusMessage() { SetStatusText(std::string(LoadString(kReadyId))); }
