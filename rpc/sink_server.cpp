// The client's sinks as capabilities the host calls back. Each call is unpacked on the
// connection's thread and delivered on the dispatch thread; its answer (which opens the host's
// stream window again) goes back only once the sink has taken it, so a slow sink slows the host
// instead of filling memory here.
#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/clipboard_format.h"
#include "platform/com/data_object.h"
#include "platform/com/filetime.h"
#include "platform/com/global_memory.h"
#include "platform/com/unknown.h"
#include "rpc/channel.h"
#include "rpc/wire_convert.h"

#include <cstring>
#include <memory>
#include <vector>

namespace rpc {
namespace {

// The values of one data callback, in the arrays IOPCDataCallback takes.
struct CallbackValues {
    explicit CallbackValues(capnp::List<rpcwire::ItemValue>::Reader in) {
        const unsigned count = in.size();
        handles.resize(count);
        values.resize(count);
        qualities.resize(count);
        times.resize(count);
        errors.resize(count);
        for (unsigned i = 0; i < count; ++i) {
            const auto item = in[i];
            handles[i] = item.getClientHandle();
            qualities[i] = item.getQuality();
            times[i] = FileTimeFromTicks(item.getTimeStamp());
            errors[i] = item.getError();
            const HRESULT hr = item.hasValue() ? FromWire(item.getValue(), &values[i])
                                               : InlineFromWire(item.getVt(), item.getBits(), &values[i]);
            if (FAILED(hr)) {
                // A value that cannot be read is an item error, not a lost callback.
                errors[i] = hr;
                qualities[i] = OPC_QUALITY_BAD;
            }
        }
    }
    ~CallbackValues() {
        for (VARIANT& value : values) VariantClear(&value);
    }
    CallbackValues(const CallbackValues&) = delete;
    CallbackValues& operator=(const CallbackValues&) = delete;

    DWORD Count() const { return static_cast<DWORD>(handles.size()); }

    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

class SinkServer final : public rpcwire::Sink::Server {
public:
    SinkServer(Channel& channel, ComPtr<IUnknown> sink) : channel_(channel), sink_(std::move(sink)) {}

    ~SinkServer() noexcept(false) {
        // The sink's last reference goes on the dispatch thread, after what was queued for it.
        channel_.DispatchAndForget([sink = std::move(sink_)]() mutable { sink = nullptr; });
    }

protected:
    kj::Promise<void> shutdownRequest(ShutdownRequestContext context) override {
        auto sink = sink_.As<IOPCShutdown>();
        if (!sink) return kj::READY_NOW;
        std::u16string reason = Wide(context.getParams().getReason());
        return channel_.Dispatch([sink, reason] { sink->ShutdownRequest(reason.c_str()); });
    }

    kj::Promise<void> onDataChange(OnDataChangeContext context) override {
        return DataCallback(context.getParams(), &IOPCDataCallback::OnDataChange);
    }

    kj::Promise<void> onReadComplete(OnReadCompleteContext context) override {
        return DataCallback(context.getParams(), &IOPCDataCallback::OnReadComplete);
    }

    kj::Promise<void> onWriteComplete(OnWriteCompleteContext context) override {
        auto sink = sink_.As<IOPCDataCallback>();
        if (!sink) return kj::READY_NOW;
        const auto params = context.getParams();
        const auto list = params.getErrors();
        auto handles = std::make_shared<std::vector<OPCHANDLE>>(list.size());
        auto errors = std::make_shared<std::vector<HRESULT>>(list.size());
        for (unsigned i = 0; i < list.size(); ++i) {
            (*handles)[i] = list[i].getClientHandle();
            (*errors)[i] = list[i].getError();
        }
        const DWORD transaction = params.getTransactionId();
        const OPCHANDLE group = params.getGroup();
        const HRESULT masterError = params.getMasterError();
        return channel_.Dispatch([=] {
            sink->OnWriteComplete(transaction, group, masterError, static_cast<DWORD>(handles->size()),
                                  handles->data(), errors->data());
        });
    }

    kj::Promise<void> onCancelComplete(OnCancelCompleteContext context) override {
        auto sink = sink_.As<IOPCDataCallback>();
        if (!sink) return kj::READY_NOW;
        const DWORD transaction = context.getParams().getTransactionId();
        const OPCHANDLE group = context.getParams().getGroup();
        return channel_.Dispatch([=] { sink->OnCancelComplete(transaction, group); });
    }

    kj::Promise<void> onAdviseData(OnAdviseDataContext context) override {
        auto sink = sink_.As<IAdviseSink>();
        if (!sink) return kj::READY_NOW;
        const auto params = context.getParams();
        const auto text = params.getFormat();
        // Only the formats this client advised are known here; a name the host invents is not
        // registered for it.
        const UINT format = FindClipboardFormat(std::string_view(text.cStr(), text.size()));
        if (format == 0) return kj::READY_NOW;
        const DWORD tymed = params.getTymed();
        auto bytes = std::make_shared<std::vector<BYTE>>(params.getData().begin(), params.getData().end());
        return channel_.Dispatch([sink, format, tymed, bytes] {
            FORMATETC formatEtc{};
            formatEtc.cfFormat = static_cast<CLIPFORMAT>(format);
            formatEtc.dwAspect = DVASPECT_CONTENT;
            formatEtc.lindex = -1;
            formatEtc.tymed = tymed;
            STGMEDIUM medium;
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = GlobalAlloc(GMEM_FIXED, bytes->size());
            if (!medium.hGlobal) return;
            if (!bytes->empty()) std::memcpy(GlobalLock(medium.hGlobal), bytes->data(), bytes->size());
            GlobalUnlock(medium.hGlobal);
            sink->OnDataChange(&formatEtc, &medium);
            ReleaseStgMedium(&medium);
        });
    }

private:
    using DataMethod = HRESULT (IOPCDataCallback::*)(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                                     VARIANT*, WORD*, FILETIME*, HRESULT*);

    template <class Params>
    kj::Promise<void> DataCallback(Params params, DataMethod method) {
        auto sink = sink_.As<IOPCDataCallback>();
        if (!sink) return kj::READY_NOW;
        auto values = std::make_shared<CallbackValues>(params.getValues());
        const DWORD transaction = params.getTransactionId();
        const OPCHANDLE group = params.getGroup();
        const HRESULT quality = params.getMasterQuality();
        const HRESULT error = params.getMasterError();
        return channel_.Dispatch([=] {
            CallbackValues& v = *values;
            ((*sink).*method)(transaction, group, quality, error, v.Count(), v.handles.data(), v.values.data(),
                              v.qualities.data(), v.times.data(), v.errors.data());
        });
    }

    Channel& channel_;  // the sink lives in the channel's connection, never longer
    ComPtr<IUnknown> sink_;
};

}  // namespace

rpcwire::Sink::Client MakeSinkServer(const std::shared_ptr<Channel>& channel, IUnknown* sink) {
    return kj::heap<SinkServer>(*channel, ComPtr<IUnknown>(sink));
}

}  // namespace rpc
