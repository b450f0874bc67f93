#include "opc/client/shutdown_sink.h"

#include "opc/client/client_notifier.h"
#include "platform/com/bstr.h"
#include "platform/shell/shell.h"
#include "platform/strings/utf8.h"

namespace {
constexpr std::size_t kMaxReasonBytes = 260;

}  // namespace

IVShutdownSink::IVShutdownSink(CVServer* server, std::string progId) : server_(server), progId_(std::move(progId)) {}

HRESULT IVShutdownSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    return ComObject::QueryInterface(riid, ppv);
}

HRESULT IVShutdownSink::ShutdownRequest(LPCWSTR szReason) {
    const std::string reason = std::string(Utf8Prefix(Utf8FromWide(szReason), kMaxReasonBytes));
    std::lock_guard lock(mutex_);
    if (!server_) return S_OK;  // the connection is already being released
    LogEvent(IDS_SHUTDOWN_REQUESTED, progId_.c_str(), reason.c_str());
    NotifyServerShutdownRequested(server_);
    return S_OK;
}

void IVShutdownSink::Detach() {
    std::lock_guard lock(mutex_);
    server_ = nullptr;
}
