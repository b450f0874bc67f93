// A client's call run on the host's call pool rather than on the loop thread. The call works on
// copies of its own: the parameters are copied on the loop before it starts, its results are
// built in a message of its own and copied into the reply on the loop after it ends. Nothing of
// the RPC system is touched off the loop, so a connection that ends while a call runs takes
// nothing from under it; what the call holds is let go of on the loop.
#pragma once

#include "rpc/call_pool.h"
#include "rpc/host_loop.h"

#include <capnp/capability.h>
#include <capnp/message.h>

#include <exception>
#include <functional>
#include <memory>

namespace rpc {

// What the call's body sees in place of the RPC system's call context.
template <class Params, class Results>
class CallCopy {
public:
    explicit CallCopy(typename Params::Reader params) { params_.setRoot(params); }

    typename Params::Reader getParams() { return params_.getRoot<Params>().asReader(); }
    // Capabilities set here (objects lent) go into the call's own table.
    typename Results::Builder getResults() { return capabilities_.imbue(results_.getRoot<Results>()); }

private:
    capnp::MallocMessageBuilder params_;
    capnp::MallocMessageBuilder results_;
    capnp::BuilderCapabilityTable capabilities_;
};

// Runs `body(copy)` on the call pool and answers the call with what it built. The body may
// hold what it captures (the lent object's state) until it has run; that is released on the
// loop. A body that throws (a malformed parameter read) fails the call with its exception, as
// on the loop. Refused by a stopping pool, the call fails as a disconnected one would.
template <class Params, class Results, class Body>
kj::Promise<void> OffLoop(HostContext& host, capnp::CallContext<Params, Results> context, Body body) {
    struct Call {
        explicit Call(typename Params::Reader params) : copy(params) {}
        CallCopy<Params, Results> copy;
        std::function<void()> run;
        kj::Maybe<kj::Exception> failure;
        kj::Own<kj::PromiseFulfiller<void>> done;
    };
    auto paf = kj::newPromiseAndFulfiller<void>();
    auto call = std::make_shared<Call>(context.getParams());
    call->done = kj::mv(paf.fulfiller);
    call->run = [body = std::move(body), &copy = call->copy]() mutable { body(copy); };
    std::function<void()> work = [call, mailbox = host.mailbox]() mutable {
        try {
            call->run();
        } catch (const kj::Exception& exception) {
            call->failure = exception;
        } catch (const std::exception& exception) {
            call->failure = KJ_EXCEPTION(FAILED, exception.what());
        }
        // The call's last holder is on the loop: what the body captured, the objects it lent
        // and the fulfiller all belong there.
        mailbox->Post([call = std::move(call)] {
            call->run = nullptr;
            KJ_IF_MAYBE(failure, call->failure) {
                call->done->reject(kj::mv(*failure));
            } else {
                call->done->fulfill();
            }
        });
    };
    if (!host.calls->Run(work)) return KJ_EXCEPTION(DISCONNECTED, "the server host is stopping");
    return paf.promise.then([context, call]() mutable { context.setResults(call->copy.getResults().asReader()); });
}

// Runs `body(context)` on the loop thread at once, for the calls that take a capability from
// the client (a sink to advise): capabilities live on the loop.
template <class Context, class Body>
kj::Promise<void> OnLoop(Context context, Body body) {
    body(context);
    return kj::READY_NOW;
}

}  // namespace rpc
