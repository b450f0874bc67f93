#include "persistence/document_notifier.h"

#include "persistence/document.h"

#include <QMetaObject>
#include <QObject>

DocumentClientNotifier::DocumentClientNotifier(CVDocument& document)
    : document_(document), guiContext_(std::make_unique<QObject>()) {
    SetClientNotifier(this);
}

DocumentClientNotifier::~DocumentClientNotifier() {
    SetClientNotifier(nullptr);  // waits for calls in progress
}

void DocumentClientNotifier::ServerShutdownRequested(CVServer* server) {
    QMetaObject::invokeMethod(
        guiContext_.get(), [this, server] { document_.OnServerShutdownRequested(server); }, Qt::QueuedConnection);
}

void DocumentClientNotifier::ServerStoppedAnswering(CVServer* server) {
    QMetaObject::invokeMethod(
        guiContext_.get(), [this, server] { document_.OnServerStoppedAnswering(server); }, Qt::QueuedConnection);
}
