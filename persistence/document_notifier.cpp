#include "persistence/document_notifier.h"

#include "persistence/document.h"
#include "platform/concurrency/posted_calls.h"

DocumentClientNotifier::DocumentClientNotifier(CVDocument& document)
    : document_(document), guiContext_(std::make_unique<PostedCalls>()) {
    SetClientNotifier(this);
}

DocumentClientNotifier::~DocumentClientNotifier() {
    SetClientNotifier(nullptr);  // waits for calls in progress
}

void DocumentClientNotifier::ServerShutdownRequested(CVServer* server) {
    guiContext_->Post([this, server] { document_.OnServerShutdownRequested(server); });
}

void DocumentClientNotifier::ServerStoppedAnswering(CVServer* server) {
    guiContext_->Post([this, server] { document_.OnServerStoppedAnswering(server); });
}
