// What the client core asks of the application when a server needs the GUI thread: a server
// that requested shutdown, or one that stopped answering its status calls, must be
// disconnected there. The GUI (or a test) installs a notifier; the calls arrive on server and
// watchdog threads, so an implementation only queues the work and returns.
#pragma once

class CVServer;

class ClientNotifier {
public:
    virtual ~ClientNotifier() = default;
    // The server sent a shutdown request (already reported as 15012).
    virtual void ServerShutdownRequested(CVServer* server) = 0;
    // The watchdog found the server dead. The notifier owns the disconnect from here on.
    virtual void ServerStoppedAnswering(CVServer* server) = 0;
};

// Installs (or, with nullptr, removes) the notifier. Removal waits for calls in progress, so
// the notifier may be destroyed right after. Must not be called from inside a notification.
void SetClientNotifier(ClientNotifier* notifier);

// Each returns false when no notifier is installed.
bool NotifyServerShutdownRequested(CVServer* server);
bool NotifyServerStoppedAnswering(CVServer* server);
