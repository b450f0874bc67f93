// The server's watchdog: every five seconds a connected server must answer GetStatus. A
// server that does not is handed to the client notifier (the GUI disconnects it) or, without
// one, disconnected here. Nothing reconnects it.
#include "opc/client/client_notifier.h"
#include "opc/client/server.h"
#include "platform/com/memory.h"
#include "platform/shell/shell.h"

#include <chrono>

namespace {
constexpr auto kWatchdogPeriod = std::chrono::seconds(5);
}  // namespace

bool CVServer::StatusAnswers(IOPCServer* server) {
    if (!server) return false;
    TaskMemArray<OPCSERVERSTATUS> status([](OPCSERVERSTATUS& s) { CoTaskMemFree(s.szVendorInfo); });
    const HRESULT hr = server->GetStatus(status.put());
    status.SetFilled(1);
    return status && SUCCEEDED(hr);
}

void CVServer::WatchdogLoop() {
    std::unique_lock lock(watchdogMutex_);
    for (;;) {
        if (watchdogWake_.wait_for(lock, kWatchdogPeriod, [this] { return !running_; })) return;
        if (!IsConnected()) continue;
        const unsigned generation = connectGeneration_.load();
        lock.unlock();
        // Connected without IOPCServer counts as dead, too.
        const bool alive = StatusAnswers(OpcServer().get());
        if (!alive) HandleDeadServer(generation);
        lock.lock();
    }
}

void CVServer::HandleDeadServer(unsigned generation) {
    if (deadReportedGeneration_ == generation) return;  // already handed on
    {
        std::lock_guard operation(operationLock_);  // the ProgID changes under it
        ReportError(IDS_SERVER_NOT_ANSWERING, progId.c_str());
    }
    if (NotifyServerStoppedAnswering(this)) {
        deadReportedGeneration_ = generation;
        return;
    }
    std::lock_guard operation(operationLock_);
    // The operator may have reconnected meanwhile; that connection has its own verdict.
    if (connectGeneration_.load() != generation || !IsConnected()) return;
    StatusMessage status(IDS_DISCONNECTING);
    Disconnect();
}
