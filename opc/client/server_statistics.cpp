#include "opc/client/server_statistics.h"

#include "platform/strings/utf8.h"

#include <chrono>
#include <cstring>

void ServerStatistics::OnConnected(std::int64_t unixMs) {
    connectedSinceMs_.store(unixMs, std::memory_order_relaxed);
    connects_.fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t ServerStatistics::Reconnects() const {
    const std::uint64_t connects = connects_.load(std::memory_order_relaxed);
    return connects > 1 ? connects - 1 : 0;
}

void ServerStatistics::NoteError(const std::string& text, std::int64_t unixMs) {
    LastError record{};
    record.unixMs = unixMs;
    const std::string_view kept = Utf8Prefix(text, sizeof record.text - 1);
    std::memcpy(record.text, kept.data(), kept.size());
    std::lock_guard lock(errorWriters_);
    lastError_.Store(record);
}

std::int64_t ServerStatistics::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
