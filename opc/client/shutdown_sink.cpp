#include "opc/client/shutdown_sink.h"

#include "opc/client/client_notifier.h"
#include "platform/com/bstr.h"
#include "platform/shell/shell.h"

namespace {
constexpr std::size_t kMaxReasonBytes = 260;

// At most `limit` bytes, never splitting a UTF-8 character.
std::string CutUtf8(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

IVShutdownSink::IVShutdownSink(CVServer* server, std::string progId)
    : server_(server), progId_(std::move(progId)) {}

HRESULT IVShutdownSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    return ComObject::QueryInterface(riid, ppv);
}

HRESULT IVShutdownSink::ShutdownRequest(LPCWSTR szReason) {
    const std::string reason = CutUtf8(Utf8FromWide(szReason), kMaxReasonBytes);
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
