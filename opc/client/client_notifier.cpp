#include "opc/client/client_notifier.h"

#include <mutex>
#include <shared_mutex>

namespace {

std::shared_mutex& NotifierLock() {
    static std::shared_mutex lock;
    return lock;
}

ClientNotifier* g_notifier = nullptr;

}  // namespace

void SetClientNotifier(ClientNotifier* notifier) {
    std::unique_lock lock(NotifierLock());
    g_notifier = notifier;
}

bool NotifyServerShutdownRequested(CVServer* server) {
    std::shared_lock lock(NotifierLock());
    if (!g_notifier) return false;
    g_notifier->ServerShutdownRequested(server);
    return true;
}

bool NotifyServerStoppedAnswering(CVServer* server) {
    std::shared_lock lock(NotifierLock());
    if (!g_notifier) return false;
    g_notifier->ServerStoppedAnswering(server);
    return true;
}
