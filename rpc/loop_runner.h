// Runs a connection's event loop until its stop flag is set by work posted to the loop.
#pragma once

#include <kj/async-unix.h>

#include <atomic>

namespace rpc {

void RunLoop(kj::WaitScope& waitScope, kj::UnixEventPort& port, const std::atomic<bool>& stop);

}  // namespace rpc
