// A server host that breaks the rules: it sends data callbacks without waiting for the stream
// window while the client's sink is busy. Once what waits for the sink passes the bound, the
// client reads no more from the host, and gives it up as silent, instead of holding everything
// the host sends.
#include "opc/da/opcda.h"
#include "platform/com/unknown.h"
#include "rpc/channel.h"
#include "rpc/wire_convert.h"
#include "tests/opc/client/connection_support.h"
#include "tests/rpc/call_gate.h"
#include "tests/support/counting_sink.h"

#include <capnp/rpc-twoparty.h>
#include <gtest/gtest.h>
#include <kj/async-io.h>

#include <future>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr unsigned kCallbacks = 400;
constexpr unsigned kItemsPerCallback = 1000;  // some 24 KB each on the wire

// The object the flooding host lends: advising a sink starts the flood.
class FloodingObject final : public rpcwire::Object::Server {
public:
    explicit FloodingObject(kj::TaskSet& sends) : sends_(sends) {}

protected:
    kj::Promise<void> advise(AdviseContext context) override {
        auto sink = context.getParams().getSink();
        for (unsigned i = 0; i < kCallbacks; ++i) {
            auto request = sink.onDataChangeRequest();
            request.setGroup(1);
            auto values = request.initValues(kItemsPerCallback);
            for (unsigned v = 0; v < kItemsPerCallback; ++v) values[v].setClientHandle(v);
            sends_.add(request.send());  // not waiting for the window, as a well-behaved host would
        }
        context.getResults().setHr(S_OK);
        return kj::READY_NOW;
    }

private:
    kj::TaskSet& sends_;
};

class FloodingHost final : public rpcwire::Host::Server, kj::TaskSet::ErrorHandler {
protected:
    kj::Promise<void> createInstance(CreateInstanceContext context) override {
        auto results = context.getResults();
        results.setHr(S_OK);
        results.initServer().setObject(kj::heap<FloodingObject>(sends_));
        return kj::READY_NOW;
    }
    kj::Promise<void> ping(PingContext) override { return kj::READY_NOW; }

private:
    void taskFailed(kj::Exception&&) override {}
    kj::TaskSet sends_{*this};
};

// The flooding host on a loopback port, on a thread of its own, until it is destroyed.
class FloodingHostThread {
public:
    FloodingHostThread() {
        std::promise<unsigned> listening;
        auto port = listening.get_future();
        thread_ = std::thread([this, &listening] {
            auto io = kj::setupAsyncIo();
            auto listener = io.provider->getNetwork().parseAddress("127.0.0.1", 0).wait(io.waitScope)->listen();
            capnp::TwoPartyServer server(kj::heap<FloodingHost>());
            auto serving = server.listen(*listener).eagerlyEvaluate(nullptr);
            auto paf = kj::newPromiseAndCrossThreadFulfiller<void>();
            {
                std::lock_guard lock(mutex_);
                stop_ = kj::mv(paf.fulfiller);
            }
            listening.set_value(listener->getPort());
            paf.promise.wait(io.waitScope);
        });
        port_ = port.get();
    }
    ~FloodingHostThread() {
        {
            std::lock_guard lock(mutex_);
            stop_->fulfill();
        }
        thread_.join();
    }
    FloodingHostThread(const FloodingHostThread&) = delete;
    FloodingHostThread& operator=(const FloodingHostThread&) = delete;

    unsigned Port() const { return port_; }

private:
    std::mutex mutex_;
    kj::Own<kj::CrossThreadPromiseFulfiller<void>> stop_;
    std::thread thread_;
    unsigned port_ = 0;
};

TEST(FloodingHost, TheClientGivesUpAHostThatSendsMoreCallbacksThanItsSinksTake) {
    rpc::SetCallbackFlowLimit(std::size_t{1} << 20);
    FloodingHostThread host;
    HRESULT hr = S_OK;
    auto channel = rpc::Channel::Connect("127.0.0.1", host.Port(), &hr, rpc::Liveness{100ms, 1000ms});
    rpc::SetCallbackFlowLimit(std::size_t{64} << 20);
    ASSERT_TRUE(channel) << std::hex << hr;
    CallGate gate;
    gate.Arm();
    std::atomic<std::uint64_t> changes{0};
    ComPtr<CountingSink> sink = MakeComObject<CountingSink>(changes, gate.Hook());  // busy with its first
    auto object = std::make_shared<rpcwire::Object::Client>(nullptr);
    ASSERT_EQ(channel->Call([&]() -> kj::Promise<HRESULT> {
        return channel->Host().createInstanceRequest().send().then([&](auto&& response) {
            *object = response.getServer().getObject();
            return S_OK;
        });
    }),
              S_OK);
    // The host's answer comes after its callbacks, some 16 MB of them, of which a megabyte may
    // wait: the client stops reading before the answer, and the call fails as the host is
    // given up.
    const HRESULT advised = channel->Call([&]() -> kj::Promise<HRESULT> {
        auto advise = object->adviseRequest();
        advise.setIid(rpc::WireBytes(IID_IOPCDataCallback));
        advise.setSink(rpc::MakeSinkServer(channel, sink.get()));
        return advise.send().then([](auto&& response) { return static_cast<HRESULT>(response.getHr()); });
    });
    EXPECT_EQ(advised, RPC_S_CALL_FAILED_HR);
    EXPECT_TRUE(WaitUntil([&] { return !channel->Alive(); }, 10s)) << "the client gave the host up";
    gate.Open();
    channel->Drop(kj::mv(*object));
    channel.reset();  // its threads end here, before the gate and the count they use
}

}  // namespace
