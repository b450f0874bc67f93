// Carries the client core's server notifications to the document on the GUI thread: a server
// that asked to shut down is disconnected there, one that stopped answering is disconnected
// on the document's worker. The calls arrive on server and watchdog threads and only queue
// the work. Installs itself as the client notifier for its lifetime; create it on the GUI
// thread, after the document.
#pragma once

#include "opc/client/client_notifier.h"

#include <memory>

class CVDocument;
class PostedCalls;

class DocumentClientNotifier : public ClientNotifier {
public:
    explicit DocumentClientNotifier(CVDocument& document);
    ~DocumentClientNotifier() override;
    DocumentClientNotifier(const DocumentClientNotifier&) = delete;
    DocumentClientNotifier& operator=(const DocumentClientNotifier&) = delete;

    void ServerShutdownRequested(CVServer* server) override;
    void ServerStoppedAnswering(CVServer* server) override;

private:
    CVDocument& document_;
    // Lives on the GUI thread; queued calls die with it, so none reaches a gone document.
    std::unique_ptr<PostedCalls> guiContext_;
};
