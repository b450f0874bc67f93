#include "rpc/channel.h"

#include "rpc/buffered_stream.h"
#include "rpc/host_loop.h"
#include "rpc/loop_runner.h"
#include "rpc/message_limits.h"
#include "rpc/socket_options.h"

#include <capnp/rpc-twoparty.h>
#include <kj/async-io.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace rpc {
namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(5);
std::atomic<std::size_t> gCallbackFlowLimitBytes{std::size_t{64} << 20};
// How long a caller watches for its reply before it sleeps: a loopback reply usually comes
// sooner, and a sleeping caller costs one more wake-up across CPUs.
constexpr auto kCallerWatch = std::chrono::microseconds(200);

kj::Duration KjDuration(std::chrono::milliseconds ms) {
    return ms.count() * kj::MILLISECONDS;
}

// A caller waiting for its call on the connection's thread. Every hand-over between the two
// goes through this lock (and the mailbox's), which the thread sanitizer sees.
struct PendingCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::atomic<bool> answered{false};  // the same as finished, for the caller's short spin
    HRESULT hr = RPC_S_CALL_FAILED_HR;

    void Finish(HRESULT result) {
        {
            std::lock_guard lock(mutex);
            if (finished) return;
            finished = true;
            hr = result;
        }
        // Only once the lock is free: a caller that sees the answer takes the lock at once, and
        // finding it held would put that caller to sleep and cost a wake-up.
        answered.store(true, std::memory_order_release);
        done.notify_all();
    }
    HRESULT Wait() {
        const auto until = std::chrono::steady_clock::now() + kCallerWatch;
        while (!answered.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until) {
        }
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return finished; });
        return hr;
    }
};

// Finishes the call as failed if the loop drops it (the connection's end) before it answered.
struct CallGuard {
    explicit CallGuard(std::shared_ptr<PendingCall> pending) : call(std::move(pending)) {}
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
    ~CallGuard() { call->Finish(RPC_S_CALL_FAILED_HR); }
    std::shared_ptr<PendingCall> call;
};

}  // namespace

// Runs callbacks in order on a thread of its own; after each, its `done` goes to the loop. The
// queue is shared with the thread, so that a callback that lets go of the last reference to the
// channel (and so destroys this object on its own thread) leaves the thread something to finish.
class DispatchThread {
public:
    explicit DispatchThread(std::shared_ptr<Mailbox> mailbox)
        : queue_(std::make_shared<Queue>(std::move(mailbox))), thread_([queue = queue_] { queue->Run(); }) {}
    ~DispatchThread() {
        queue_->Stop();
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }

    void Post(std::function<void()> callback, std::function<void()> done) {
        queue_->Post(std::move(callback), std::move(done));
    }

private:
    struct Entry {
        std::function<void()> callback;
        std::function<void()> done;  // runs on the loop
    };

    struct Queue {
        explicit Queue(std::shared_ptr<Mailbox> box) : mailbox(std::move(box)) {}

        void Post(std::function<void()> callback, std::function<void()> done) {
            {
                std::lock_guard lock(mutex);
                entries.push_back(Entry{std::move(callback), std::move(done)});
            }
            wake.notify_one();
        }
        void Stop() {
            {
                std::lock_guard lock(mutex);
                stopping = true;
            }
            wake.notify_one();
        }
        void Run() {
            std::unique_lock lock(mutex);
            for (;;) {
                wake.wait(lock, [this] { return stopping || !entries.empty(); });
                if (entries.empty()) return;  // stopping, and nothing left to deliver
                Entry entry = std::move(entries.front());
                entries.pop_front();
                lock.unlock();
                entry.callback();
                entry.callback = nullptr;  // what it captured goes here, not on the loop
                // Refused only once the loop has ended and its promises with it: the fulfiller
                // `done` holds is then detached, and goes here.
                if (entry.done && !mailbox->TryPost(entry.done)) entry.done = nullptr;
                lock.lock();
            }
        }

        std::shared_ptr<Mailbox> mailbox;
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Entry> entries;
        bool stopping = false;
    };

    std::shared_ptr<Queue> queue_;
    std::thread thread_;
};

struct Channel::State {
    std::string host;
    unsigned port = 0;
    Liveness liveness;
    std::shared_ptr<const TlsCredentials> tls;
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
    std::thread loopThread;
    std::atomic<bool> alive{false};
    // Only on the loop thread, while it runs.
    rpcwire::Host::Client* hostCap = nullptr;
    std::atomic<bool> stop{false};  // set on the loop thread, by work the owner posts
    kj::TaskSet* calls = nullptr;
    kj::Maybe<int> fd;
    DispatchThread dispatch{mailbox};

    void Lose() {
        alive.store(false);
        KJ_IF_MAYBE(socket, fd) { ::shutdown(*socket, SHUT_RDWR); }
    }

    void Run(std::promise<HRESULT>& connected);
    // Loop thread only: what the watch has seen of the host.
    BufferedStream* stream = nullptr;
    std::uint64_t bytesSeen = 0;
    kj::TimePoint heardAt = kj::origin<kj::TimePoint>();
    bool pingAnswered = true;

    kj::Promise<void> Watch(kj::Timer& timer);
};

namespace {
struct IgnoreErrors final : kj::TaskSet::ErrorHandler {
    void taskFailed(kj::Exception&&) override {}
};
}  // namespace

// Every ping period: notes whether anything came from the host, gives the connection up after
// a silence of the timeout, and sends a ping when the last one has been answered, so that an
// idle host has something to say.
kj::Promise<void> Channel::State::Watch(kj::Timer& timer) {
    return timer.afterDelay(KjDuration(liveness.pingPeriod)).then([this, &timer]() -> kj::Promise<void> {
        const kj::TimePoint now = timer.now();
        if (stream->BytesReceived() != bytesSeen) {
            bytesSeen = stream->BytesReceived();
            heardAt = now;
        }
        if (now - heardAt >= KjDuration(liveness.timeout))
            return KJ_EXCEPTION(DISCONNECTED, "nothing came from the server host for the liveness timeout");
        if (pingAnswered) {
            pingAnswered = false;
            calls->add(hostCap->pingRequest().send().ignoreResult().then([this]() { pingAnswered = true; }));
        }
        return Watch(timer);
    });
}

void Channel::State::Run(std::promise<HRESULT>& connected) {
    bool reported = false;
    bool reached = false;  // the host's port answered
    try {
        auto io = kj::setupAsyncIo();
        IgnoreErrors ignore;
        kj::TaskSet tasks(ignore);
        tasks.add(mailbox->Run(io.unixEventPort));
        kj::Timer& timer = io.provider->getTimer();
        auto address = io.provider->getNetwork().parseAddress(host, port);
        kj::Own<kj::AsyncIoStream> socket =
            timer.timeoutAfter(KjDuration(kConnectTimeout), address.then([](kj::Own<kj::NetworkAddress> a) {
                     return a->connect();
                 }))
                .wait(io.waitScope);
        reached = true;
        fd = socket->getFd();  // kept: the TLS stream above it has none to shut down
        KJ_IF_MAYBE(raw, fd) { ConfigureSocket(*raw, liveness.timeout); }
        kj::Own<kj::TlsContext> tlsContext;
        if (tls) {
            tlsContext = tls->ClientContext();
            socket = timer.timeoutAfter(KjDuration(kConnectTimeout), tlsContext->wrapClient(kj::mv(socket), host))
                         .wait(io.waitScope);
        }
        kj::Own<BufferedStream> connection = kj::heap<BufferedStream>(kj::mv(socket), &timer);
        stream = connection.get();

        capnp::TwoPartyVatNetwork network(*connection, capnp::rpc::twoparty::Side::CLIENT, ClientReaderOptions());
        auto rpcSystem = capnp::makeRpcClient(network);
        // The host's callbacks wait in the RPC system while a sink is busy; a host that sends
        // more than its stream window allows stops being read here, and is then given up as
        // silent, instead of filling the client's memory.
        rpcSystem.setFlowLimit(gCallbackFlowLimitBytes.load() / sizeof(capnp::word));
        capnp::word hostVatScratch[4] = {};
        capnp::MallocMessageBuilder hostVat(hostVatScratch);
        hostVat.getRoot<capnp::rpc::twoparty::VatId>().setSide(capnp::rpc::twoparty::Side::SERVER);
        rpcwire::Host::Client hostClient =
            rpcSystem.bootstrap(hostVat.getRoot<capnp::rpc::twoparty::VatId>()).castAs<rpcwire::Host>();
        // The host's first answer: a host that turns the client away, or refuses its
        // certificate after the handshake seemed to succeed, fails the connect itself.
        timer.timeoutAfter(KjDuration(kConnectTimeout), hostClient.pingRequest().send().ignoreResult())
            .wait(io.waitScope);
        hostCap = &hostClient;
        kj::Own<kj::TaskSet> callTasks = kj::heap<kj::TaskSet>(ignore);
        calls = callTasks.get();
        alive.store(true);
        reported = true;
        connected.set_value(S_OK);

        heardAt = timer.now();
        auto watch = network.onDisconnect()
                         .exclusiveJoin(Watch(timer))
                         .then([this]() { Lose(); }, [this](kj::Exception&&) { Lose(); })
                         .then([this, &callTasks]() {
                             // The calls still waiting fail now: a host the client has stopped
                             // reading from (its callbacks past the flow limit) never answers them.
                             calls = nullptr;
                             callTasks = nullptr;
                         })
                         .eagerlyEvaluate(nullptr);
        RunLoop(io.waitScope, io.unixEventPort, stop);
        alive.store(false);
        calls = nullptr;
        hostCap = nullptr;
        stream = nullptr;
    } catch (const kj::Exception& e) {
        alive.store(false);
        calls = nullptr;
        hostCap = nullptr;
        stream = nullptr;
        // After connecting, the caller has gone on and its promise with it.
        if (!reported) {
            if (tls && reached)  // a refused certificate is worth a reason; a host that is down is not
                std::fprintf(stderr, "opcstation: server host %s:%u over TLS: %s\n", host.c_str(), port,
                             e.getDescription().cStr());
            connected.set_value(RPC_S_SERVER_UNAVAILABLE_HR);
        }
    }
    mailbox->Close();
}

std::shared_ptr<Channel> Channel::Connect(const std::string& host, unsigned port, HRESULT* hr, Liveness liveness,
                                          std::shared_ptr<const TlsCredentials> tls) {
    std::shared_ptr<Channel> channel(new Channel());
    State& state = *channel->state_;
    state.host = host;
    state.port = port;
    state.liveness = liveness;
    state.tls = std::move(tls);
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
    State& state = *state_;
    // A loop that never connected has ended and closed its mailbox already.
    if (!state.mailbox->Closed()) state.mailbox->Post([&state]() { state.stop.store(true); });
    if (OnLoopThread())
        state_->loopThread.detach();
    else
        state_->loopThread.join();
}

bool Channel::Alive() const {
    return state_->alive.load();
}

bool Channel::OnLoopThread() const {
    return state_->loopThread.get_id() == std::this_thread::get_id();
}

HRESULT Channel::Call(const std::function<kj::Promise<HRESULT>()>& start) {
    if (!Alive()) return RPC_S_SERVER_UNAVAILABLE_HR;
    if (OnLoopThread()) return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
    State& state = *state_;
    auto call = std::make_shared<PendingCall>();
    // The guard travels with the work, so a call the loop drops unanswered still ends.
    auto guard = std::make_shared<CallGuard>(call);
    std::function<void()> work = [&state, &start, guard]() {
        if (!state.alive.load() || !state.calls) return guard->call->Finish(RPC_S_SERVER_UNAVAILABLE_HR);
        kj::Promise<HRESULT> promise = nullptr;
        try {
            promise = start();
        } catch (const kj::Exception&) {
            return guard->call->Finish(RPC_S_CALL_FAILED_HR);
        }
        state.calls->add(promise
                             .catch_([&state](kj::Exception&& e) -> HRESULT {
                                 if (e.getType() == kj::Exception::Type::DISCONNECTED) state.Lose();
                                 return RPC_S_CALL_FAILED_HR;
                             })
                             .then([guard](HRESULT hr) { guard->call->Finish(hr); }));
    };
    guard.reset();
    // Refused once the loop has ended: the work holds nothing of the loop's and ends here.
    if (!state.mailbox->TryPost(work)) return RPC_S_SERVER_UNAVAILABLE_HR;
    return call->Wait();
}

void SetCallbackFlowLimit(std::size_t bytes) {
    gCallbackFlowLimitBytes.store(bytes);
}

rpcwire::Host::Client& Channel::Host() {
    return *state_->hostCap;
}

void Channel::Drop(rpcwire::Object::Client&& object) {
    if (OnLoopThread()) {
        auto dropped = kj::mv(object);
        return;
    }
    // As with a COM release, the host has let go of the object when this returns: the ping is
    // answered after the release message before it.
    State& state = *state_;
    auto call = std::make_shared<PendingCall>();
    auto guard = std::make_shared<CallGuard>(call);
    auto held = std::make_shared<rpcwire::Object::Client>(kj::mv(object));
    const bool posted = state.mailbox->Post([&state, held, guard]() {
        { auto dropped = kj::mv(*held); }
        if (!state.alive.load() || !state.hostCap || !state.calls) return guard->call->Finish(S_OK);
        state.calls->add(state.hostCap->pingRequest().send().ignoreResult().then(
            [guard]() { guard->call->Finish(S_OK); }));
    });
    guard.reset();
    held.reset();  // what the posted work holds is the last reference, let go of on the loop
    if (posted) call->Wait();
}

void Channel::DispatchAndForget(std::function<void()> callback) {
    state_->dispatch.Post(std::move(callback), nullptr);
}

kj::Promise<void> Channel::Dispatch(std::function<void()> callback) {
    // The fulfiller stays on this thread: the dispatch thread only posts its release back here.
    auto paf = kj::newPromiseAndFulfiller<void>();
    auto fulfiller = std::make_shared<kj::Own<kj::PromiseFulfiller<void>>>(kj::mv(paf.fulfiller));
    state_->dispatch.Post(std::move(callback), [fulfiller]() { (*fulfiller)->fulfill(); });
    return kj::mv(paf.promise);
}

}  // namespace rpc
