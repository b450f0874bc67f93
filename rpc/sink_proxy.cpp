// The host's stand-in for a client's sink. The server objects call it on their own threads; it
// copies the arguments, posts them to the loop and returns. On the loop, callbacks are sent in
// order as stream calls; while the connection's window is full they wait, and a subscription's
// newer values replace its older ones that still wait, so what waits is bounded by the items
// of the subscription, however long the client takes.
#include "opc/da/opcda.h"
#include "platform/com/clipboard_format.h"
#include "platform/com/data_object.h"
#include "platform/com/filetime.h"
#include "platform/com/global_memory.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
#include "rpc/host_loop.h"
#include "rpc/sink_callback.h"
#include "rpc/wire_convert.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace rpc {
namespace {

// Callbacks that cannot be merged (completions, refreshes) waiting beyond this are dropped: a
// client that asks for more and more answers without ever taking one gets no more of them.
constexpr std::size_t kMaxWaiting = 1024;

std::atomic<std::size_t> gShutdownCallsInFlight{0};

void ItemsToWire(const std::vector<ItemCallback>& items, capnp::List<rpcwire::ItemValue>::Builder out) {
    for (unsigned i = 0; i < items.size(); ++i) {
        const ItemCallback& item = items[i];
        auto value = out[i];
        value.setClientHandle(item.handle);
        value.setQuality(item.quality);
        value.setTimeStamp(item.time);
        HRESULT error = item.error;
        if (item.other) {
            if (FAILED(ToWire(**item.other, value.initValue()))) error = DISP_E_BADVARTYPE;
        } else {
            value.setVt(item.vt);
            value.setBits(item.bits);
        }
        value.setError(error);
    }
}

// Words for a callback's message whose values all travel inline, so that it is built in one
// segment (which the receiver reads without a segment lookup per item).
capnp::MessageSize DataMessageSize(std::size_t items) {
    constexpr std::size_t kWordsPerItem = capnp::sizeInWords<rpcwire::ItemValue>();
    constexpr std::size_t kParamsWords = 16;
    return capnp::MessageSize{kParamsWords + items * kWordsPerItem, 0};
}

// The loop thread's side of one sink.
class SinkStream {
public:
    SinkStream(rpcwire::Sink::Client sink, Budget budget) : sink_(kj::mv(sink)), budget_(std::move(budget)) {}
    ~SinkStream() { Drop(); }
    SinkStream(const SinkStream&) = delete;
    SinkStream& operator=(const SinkStream&) = delete;

    void Enqueue(const std::shared_ptr<SinkStream>& self, Callback&& callback) {
        if (broken_) return;
        // A client still answering one shutdown request needs no second one.
        if (callback.kind == Callback::Kind::kShutdown && shutdownPending_) return;
        if (callback.Mergeable() && !waiting_.empty() && waiting_.back().callback.Mergeable() &&
            waiting_.back().callback.group == callback.group) {
            Waiting& last = waiting_.back();
            MergeDataChanges(last.callback, std::move(callback));
            Hold(last, CallbackBytes(last.callback));
        } else if (waiting_.size() < kMaxWaiting || callback.Mergeable() ||
                   callback.kind == Callback::Kind::kShutdown) {
            waiting_.push_back(Waiting{std::move(callback), 0});
            Hold(waiting_.back(), CallbackBytes(waiting_.back().callback));
        }
        // A client that lets more wait than the bound allows is cut off by the host; nothing
        // more is kept for it meanwhile.
        if (budget_->Overflowed()) {
            broken_ = true;
            Drop();
        }
        Pump(self);
    }

private:
    struct Waiting {
        Callback callback;
        std::size_t bytes;  // taken from the budget
    };

    void Hold(Waiting& waiting, std::size_t bytes) {
        budget_->ReturnWaiting(waiting.bytes);
        waiting.bytes = bytes;
        budget_->TakeWaiting(bytes);
    }

    void Drop() {
        for (const Waiting& waiting : waiting_) budget_->ReturnWaiting(waiting.bytes);
        waiting_.clear();
    }

    void Pump(const std::shared_ptr<SinkStream>& self) {
        while (!blocked_ && !broken_ && !waiting_.empty()) {
            Callback callback = std::move(waiting_.front().callback);
            budget_->ReturnWaiting(waiting_.front().bytes);
            waiting_.pop_front();
            if (callback.kind == Callback::Kind::kShutdown) {
                SendShutdown(self, callback);
                continue;
            }
            blocked_ = true;
            Send(callback)
                .then([self]() {
                    self->blocked_ = false;
                    self->Pump(self);
                },
                      [self](kj::Exception&&) {
                          self->broken_ = true;  // the client is gone; nothing more goes to it
                          self->Drop();
                      })
                .detach([](kj::Exception&&) {});
        }
    }

    void SendShutdown(const std::shared_ptr<SinkStream>& self, const Callback& callback) {
        auto request = sink_.shutdownRequestRequest();
        request.setReason(callback.text);
        ++gShutdownCallsInFlight;
        shutdownPending_ = true;
        // kj keeps a continuation as it is given, so each is a temporary, never a named local.
        request.send()
            .ignoreResult()
            .then([self]() { self->ShutdownAnswered(); }, [self](kj::Exception&&) { self->ShutdownAnswered(); })
            .detach([](kj::Exception&&) {});
    }

    void ShutdownAnswered() {
        --gShutdownCallsInFlight;
        shutdownPending_ = false;
    }

    kj::Promise<void> Send(const Callback& c) {
        const auto count = static_cast<unsigned>(c.items.size());
        switch (c.kind) {
        case Callback::Kind::kDataChange:
        case Callback::Kind::kReadComplete: {
            if (c.kind == Callback::Kind::kDataChange) {
                auto request = sink_.onDataChangeRequest(DataMessageSize(count));
                FillData(c, request);
                return request.send();
            }
            auto request = sink_.onReadCompleteRequest(DataMessageSize(count));
            FillData(c, request);
            return request.send();
        }
        case Callback::Kind::kWriteComplete: {
            auto request = sink_.onWriteCompleteRequest();
            request.setTransactionId(c.transaction);
            request.setGroup(c.group);
            request.setMasterError(c.masterError);
            auto errors = request.initErrors(count);
            for (unsigned i = 0; i < count; ++i) {
                errors[i].setClientHandle(c.items[i].handle);
                errors[i].setError(c.items[i].error);
            }
            return request.send();
        }
        case Callback::Kind::kCancelComplete: {
            auto request = sink_.onCancelCompleteRequest();
            request.setTransactionId(c.transaction);
            request.setGroup(c.group);
            return request.send();
        }
        default: {
            auto request = sink_.onAdviseDataRequest();
            request.setFormat(c.text);
            request.setTymed(c.tymed);
            request.setData(kj::arrayPtr(c.data.data(), c.data.size()));
            return request.send();
        }
        }
    }

    template <class Request>
    static void FillData(const Callback& c, Request& request) {
        request.setTransactionId(c.transaction);
        request.setGroup(c.group);
        request.setMasterQuality(c.masterQuality);
        request.setMasterError(c.masterError);
        ItemsToWire(c.items, request.initValues(static_cast<unsigned>(c.items.size())));
    }

    rpcwire::Sink::Client sink_;
    Budget budget_;
    std::deque<Waiting> waiting_;
    bool blocked_ = false;  // a stream call waits for the window
    bool broken_ = false;
    bool shutdownPending_ = false;  // sent and not yet answered
};

class SinkProxy final : public ComObject<IOPCShutdown, IOPCDataCallback, IAdviseSink> {
public:
    // `budget` has given this sink its share already.
    SinkProxy(HostContext& context, Budget budget, rpcwire::Sink::Client sink)
        : mailbox_(context.mailbox), budget_(std::move(budget)), stream_(std::make_shared<SinkStream>(kj::mv(sink), budget_)) {}

    ~SinkProxy() override {
        budget_->ReturnSink();
        // The stream holds a capability, which only the loop may let go of.
        mailbox_->Post([stream = std::move(stream_)]() mutable { stream.reset(); });
    }

    HRESULT ShutdownRequest(LPCWSTR reason) override {
        Callback callback;
        callback.kind = Callback::Kind::kShutdown;
        callback.text = Utf8(reason);
        Post(std::move(callback));
        return S_OK;
    }

    HRESULT OnDataChange(DWORD transaction, OPCHANDLE group, HRESULT quality, HRESULT error, DWORD count,
                         OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                         HRESULT* errors) override {
        return PostData(Callback::Kind::kDataChange, transaction, group, quality, error, count, handles, values,
                        qualities, times, errors);
    }

    HRESULT OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT quality, HRESULT error, DWORD count,
                           OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                           HRESULT* errors) override {
        return PostData(Callback::Kind::kReadComplete, transaction, group, quality, error, count, handles, values,
                        qualities, times, errors);
    }

    HRESULT OnWriteComplete(DWORD transaction, OPCHANDLE group, HRESULT error, DWORD count, OPCHANDLE* handles,
                            HRESULT* errors) override {
        if (count > 0 && (!handles || !errors)) return E_INVALIDARG;
        Callback callback;
        callback.kind = Callback::Kind::kWriteComplete;
        callback.transaction = transaction;
        callback.group = group;
        callback.masterError = error;
        callback.items.resize(count);
        for (DWORD i = 0; i < count; ++i) {
            callback.items[i].handle = handles[i];
            callback.items[i].error = errors[i];
        }
        Post(std::move(callback));
        return S_OK;
    }

    HRESULT OnCancelComplete(DWORD transaction, OPCHANDLE group) override {
        Callback callback;
        callback.kind = Callback::Kind::kCancelComplete;
        callback.transaction = transaction;
        callback.group = group;
        Post(std::move(callback));
        return S_OK;
    }

    void OnDataChange(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium || medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) return;
        Callback callback;
        callback.kind = Callback::Kind::kAdviseData;
        callback.text = GetClipboardFormatName(format->cfFormat);
        callback.tymed = format->tymed;
        const std::size_t size = GlobalSize(medium->hGlobal);
        const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(medium->hGlobal));
        if (bytes) callback.data.assign(bytes, bytes + size);
        GlobalUnlock(medium->hGlobal);
        Post(std::move(callback));
    }
    void OnViewChange(DWORD, LONG) override {}
    void OnRename(IMoniker*) override {}
    void OnSave() override {}
    void OnClose() override {}

private:
    HRESULT PostData(Callback::Kind kind, DWORD transaction, OPCHANDLE group, HRESULT quality, HRESULT error,
                     DWORD count, const OPCHANDLE* handles, const VARIANT* values, const WORD* qualities,
                     const FILETIME* times, const HRESULT* errors) {
        if (count > 0 && (!handles || !values || !qualities || !times || !errors)) return E_INVALIDARG;
        Callback callback;
        callback.kind = kind;
        callback.transaction = transaction;
        callback.group = group;
        callback.masterQuality = quality;
        callback.masterError = error;
        callback.items.resize(count);
        for (DWORD i = 0; i < count; ++i) {
            ItemCallback& item = callback.items[i];
            item.handle = handles[i];
            item.quality = qualities[i];
            item.time = FileTimeTicks(times[i]);
            item.error = errors[i];
            if (InlineBits(values[i], &item.bits)) {
                item.vt = values[i].vt;
            } else {
                item.other = std::make_unique<Variant>(values[i]);
            }
        }
        Post(std::move(callback));
        return S_OK;
    }

    void Post(Callback&& callback) {
        auto shared = std::make_shared<Callback>(std::move(callback));
        mailbox_->Post([stream = stream_, shared]() { stream->Enqueue(stream, std::move(*shared)); });
    }

    std::shared_ptr<Mailbox> mailbox_;
    Budget budget_;
    std::shared_ptr<SinkStream> stream_;
};

}  // namespace

std::size_t ShutdownCallsInFlight() {
    return gShutdownCallsInFlight.load();
}

ComPtr<IUnknown> MakeSinkProxy(HostContext& context, const Budget& budget, rpcwire::Sink::Client sink) {
    if (!budget->TakeSink()) return {};
    ComPtr<SinkProxy> proxy(new SinkProxy(context, budget, kj::mv(sink)));
    return ComPtr<IUnknown>(static_cast<IOPCShutdown*>(proxy.get()));
}

}  // namespace rpc
