#include "rpc/channel.h"

#include "rpc/socket_options.h"

#include <capnp/rpc-twoparty.h>
#include <kj/async-io.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace rpc {
namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(5);

kj::Duration KjDuration(std::chrono::milliseconds ms) {
    return ms.count() * kj::MILLISECONDS;
}

}  // namespace

// Runs callbacks in order on a thread of its own.
class DispatchThread {
public:
    DispatchThread() : thread_([this] { Run(); }) {}
    ~DispatchThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }

    void Post(std::function<void()> callback, kj::Own<kj::CrossThreadPromiseFulfiller<void>> done) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(Entry{std::move(callback), kj::mv(done)});
        }
        wake_.notify_one();
    }

    bool OnThread() const { return thread_.get_id() == std::this_thread::get_id(); }

private:
    struct Entry {
        std::function<void()> callback;
        kj::Own<kj::CrossThreadPromiseFulfiller<void>> done;
    };

    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, and nothing left to deliver
            Entry entry = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            entry.callback();
            entry.callback = nullptr;  // what it captured goes here, not on the loop
            if (entry.done) entry.done->fulfill();
            entry = Entry{};
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

struct Channel::State {
    std::string host;
    unsigned port = 0;
    std::thread loopThread;
    std::thread::id loopId;
    kj::Own<const kj::Executor> executor;  // outlives the loop, so a late caller finds it dead
    std::atomic<bool> alive{false};
    // Only on the loop thread, while it runs.
    rpcwire::Host::Client* hostCap = nullptr;
    kj::Own<kj::PromiseFulfiller<void>> stop;
    kj::Maybe<int> fd;
    // Orders what one thread leaves for another across the executor, whose own locking the
    // thread sanitizer cannot see.
    std::mutex handoff;
    DispatchThread dispatch;

    void Handoff() { std::lock_guard lock(handoff); }

    void Lose() {
        alive.store(false);
        KJ_IF_MAYBE(socket, fd) { ::shutdown(*socket, SHUT_RDWR); }
    }

    void Run(std::promise<HRESULT>& connected);
    kj::Promise<void> PingLoop(kj::Timer& timer);
};

kj::Promise<void> Channel::State::PingLoop(kj::Timer& timer) {
    return timer.afterDelay(KjDuration(kPingPeriod)).then([this, &timer]() {
        auto ping = hostCap->pingRequest().send().ignoreResult();
        return timer.timeoutAfter(KjDuration(kPingTimeout), kj::mv(ping)).then([this, &timer]() {
            return PingLoop(timer);
        });
    });
}

void Channel::State::Run(std::promise<HRESULT>& connected) {
    loopId = std::this_thread::get_id();
    bool reported = false;
    try {
        auto io = kj::setupAsyncIo();
        executor = kj::getCurrentThreadExecutor().addRef();
        auto address = io.provider->getNetwork().parseAddress(host, port);
        kj::Own<kj::AsyncIoStream> stream =
            io.provider->getTimer()
                .timeoutAfter(KjDuration(kConnectTimeout), address.then([](kj::Own<kj::NetworkAddress> a) {
                    return a->connect();
                }))
                .wait(io.waitScope);
        fd = stream->getFd();
        KJ_IF_MAYBE(socket, fd) { ConfigureSocket(*socket); }

        capnp::TwoPartyClient client(*stream);
        rpcwire::Host::Client hostClient = client.bootstrap().castAs<rpcwire::Host>();
        hostCap = &hostClient;
        auto stopPaf = kj::newPromiseAndFulfiller<void>();
        stop = kj::mv(stopPaf.fulfiller);
        alive.store(true);
        reported = true;
        connected.set_value(S_OK);

        auto watch = client.onDisconnect()
                         .exclusiveJoin(PingLoop(io.provider->getTimer()))
                         .then([this]() { Lose(); }, [this](kj::Exception&&) { Lose(); })
                         .eagerlyEvaluate(nullptr);
        stopPaf.promise.wait(io.waitScope);
        alive.store(false);
        hostCap = nullptr;
        stop = nullptr;
    } catch (const kj::Exception&) {
        alive.store(false);
        hostCap = nullptr;
        // After connecting, the caller has gone on and its promise with it.
        if (!reported) connected.set_value(RPC_S_SERVER_UNAVAILABLE_HR);
    }
}

std::shared_ptr<Channel> Channel::Connect(const std::string& host, unsigned port, HRESULT* hr) {
    std::shared_ptr<Channel> channel(new Channel());
    State& state = *channel->state_;
    state.host = host;
    state.port = port;
    std::promise<HRESULT> connected;
    auto result = connected.get_future();
    state.loopThread = std::thread([&state, &connected] { state.Run(connected); });
    *hr = result.get();
    if (FAILED(*hr)) return nullptr;  // the loop thread has ended; ~Channel joins it
    return channel;
}

Channel::Channel() : state_(std::make_unique<State>()) {}

Channel::~Channel() {
    if (!state_->loopThread.joinable()) return;
    if (state_->executor && state_->executor->isLive()) {
        try {
            state_->executor->executeSync([this]() {
                if (state_->stop) state_->stop->fulfill();
            });
        } catch (const kj::Exception&) {
            // The loop ended on its own.
        }
    }
    if (OnLoopThread())
        state_->loopThread.detach();
    else
        state_->loopThread.join();
}

bool Channel::Alive() const {
    return state_->alive.load();
}

bool Channel::OnLoopThread() const {
    return state_->loopId == std::this_thread::get_id();
}

HRESULT Channel::Call(const std::function<kj::Promise<HRESULT>()>& start) {
    if (!Alive()) return RPC_S_SERVER_UNAVAILABLE_HR;
    if (OnLoopThread()) return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
    State& state = *state_;
    state.Handoff();
    HRESULT hr = RPC_S_CALL_FAILED_HR;
    try {
        hr = state.executor->executeSync([&state, &start]() -> kj::Promise<HRESULT> {
            state.Handoff();
            if (!state.alive.load()) return RPC_S_SERVER_UNAVAILABLE_HR;
            return start()
                .catch_([&state](kj::Exception&& e) -> HRESULT {
                    if (e.getType() == kj::Exception::Type::DISCONNECTED) state.Lose();
                    return RPC_S_CALL_FAILED_HR;
                })
                .then([&state](HRESULT result) {
                    state.Handoff();
                    return result;
                });
        });
    } catch (const kj::Exception&) {
        hr = RPC_S_CALL_FAILED_HR;
    }
    state.Handoff();
    return hr;
}

rpcwire::Host::Client& Channel::Host() {
    return *state_->hostCap;
}

void Channel::Drop(rpcwire::Object::Client&& object) {
    if (OnLoopThread()) {
        auto dropped = kj::mv(object);
        return;
    }
    State& state = *state_;
    state.Handoff();
    try {
        if (!state.executor) return;
        // As with a COM release, the host has let go of the object when this returns: the ping
        // is answered after the release message before it.
        state.executor->executeSync([&state, &object]() -> kj::Promise<void> {
            state.Handoff();
            { auto dropped = kj::mv(object); }
            if (!state.alive.load() || !state.hostCap) return kj::READY_NOW;
            return state.hostCap->pingRequest().send().ignoreResult().catch_([](kj::Exception&&) {});
        });
    } catch (const kj::Exception&) {
        // The loop is gone, and with it every capability.
    }
}

void Channel::DispatchAndForget(std::function<void()> callback) {
    state_->dispatch.Post(std::move(callback), kj::Own<kj::CrossThreadPromiseFulfiller<void>>());
}

kj::Promise<void> Channel::Dispatch(std::function<void()> callback) {
    auto paf = kj::newPromiseAndCrossThreadFulfiller<void>();
    state_->dispatch.Post(std::move(callback), kj::mv(paf.fulfiller));
    return kj::mv(paf.promise);
}

}  // namespace rpc
