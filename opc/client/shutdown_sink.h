// The client's IOPCShutdown callback: a server that is about to go away tells us here. The
// request is reported (15012) and handed to the installed ClientNotifier, which has the
// server disconnected on the GUI thread.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

#include <mutex>
#include <string>

class CVServer;

class IVShutdownSink final : public ComObject<IOPCShutdown> {
public:
    IVShutdownSink(CVServer* server, std::string progId);

    // IUnknown and IOPCShutdown only; E_INVALIDARG for a null out pointer.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    HRESULT ShutdownRequest(LPCWSTR szReason) override;

    // Forgets the server; waits for a request in progress (also safe from inside one).
    void Detach();

private:
    std::recursive_mutex mutex_;
    CVServer* server_;
    const std::string progId_;
};
