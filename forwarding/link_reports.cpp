#include "forwarding/link_reports.h"

void LinkReportChannel::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    receiver_ = {};
}

void LinkReportChannel::Beep() { Call(receiver_.beep); }

void LinkReportChannel::Message(const std::string& text) { Call(receiver_.message, text); }

void LinkReportChannel::TcpClientReport(const std::string& text) { Call(receiver_.tcpClientReport, text); }

void LinkReportChannel::Finished(int result) { Call(receiver_.finished, result); }
