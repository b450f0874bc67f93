// The TCP client link: a connection check. Starting it connects to the configured station (an
// IPv4 or IPv6 literal or a host name, and a port), reports whether that worked and closes the
// connection again; no data is exchanged. The settings live for the run only.
//
// Threads: the settings are written on the GUI thread (the settings dialog). Each start hands
// a copy of them to a new worker thread, which is not waited for; it reaches the windows only
// through the report channel.
#pragma once

#include "forwarding/link_reports.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct TcpClientSettings {
    static constexpr std::size_t kMaxHostLength = 59;  // the settings field holds 60 bytes
    std::string host;
    std::uint32_t port = 0;
};

// What a connection attempt may take before it counts as failed; the platform's own timeout
// for an unanswered connect is about this long.
inline constexpr std::chrono::seconds kTcpClientConnectTimeout{21};

// The worker's job, on the calling thread: connects, reports "socket 连接成功！" or "socket
// 连接失败！！" through the channel's TCP client report, closes, and returns 0 or -1. A port
// above 65535 or an empty host fails without any connection attempt.
int RunTcpClientCheck(const TcpClientSettings& settings, LinkReportChannel& channel,
                      std::chrono::milliseconds timeout = kTcpClientConnectTimeout);

class CTcpClientLink {
public:
    explicit CTcpClientLink(std::shared_ptr<LinkReportChannel> channel);

    // GUI thread only.
    const TcpClientSettings& Settings() const { return settings_; }
    void SetSettings(TcpClientSettings settings) { settings_ = std::move(settings); }

    // Starts a worker on a copy of the settings; the worker ends by telling the channel its
    // result. False, after a beep, when no thread could be made.
    bool Start();

private:
    std::shared_ptr<LinkReportChannel> channel_;
    TcpClientSettings settings_;
};
