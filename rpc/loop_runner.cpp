#include "rpc/loop_runner.h"

namespace rpc {

void RunLoop(kj::WaitScope& waitScope, kj::UnixEventPort& port, const std::atomic<bool>& stop) {
    for (;;) {
        waitScope.poll();  // everything that is ready, including the posted stop
        if (stop.load()) return;
        port.wait();
    }
}

}  // namespace rpc
